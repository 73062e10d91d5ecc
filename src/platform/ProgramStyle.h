// SPDX-License-Identifier: GPL-3.0-or-later
// The program's style: Qt's Fusion, whose measures the window's fixed layout is made for,
// except that the menu bar's overflow arrow is read from its pictures only when first drawn.
// A menu bar asks for that icon as it is made, which reads three pictures and loads Qt's
// picture format plugins before the window can appear; the arrow shows only when the menu
// bar is too narrow for its menus.
#pragma once

#include <QIconEngine>
#include <QProxyStyle>
#include <functional>
#include <memory>
#include <optional>

namespace klangdorn
{

// An icon made by `make` the first time it is drawn or measured; copies share what is made.
class DeferredIconEngine final : public QIconEngine
{
public:
    explicit DeferredIconEngine(std::function<QIcon()> make);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    bool isNull() override { return false; }
    QString key() const override;
    QIconEngine* clone() const override;

private:
    struct Made {
        std::function<QIcon()> make;
        std::optional<QIcon> icon;
    };
    const QIcon& icon();

    std::shared_ptr<Made> m_made;
};

class ProgramStyle final : public QProxyStyle
{
public:
    ProgramStyle();

    QIcon standardIcon(StandardPixmap which, const QStyleOption* option,
                       const QWidget* widget) const override;
};

} // namespace klangdorn
