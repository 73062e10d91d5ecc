// SPDX-License-Identifier: GPL-3.0-or-later
// The message boxes as QMessageBox, modal to the main window, with German button texts.
#pragma once

#include "job/UserDialogs.h"

#include <QPointer>
#include <QString>
#include <QWidget>

namespace klangdorn
{

class QtMessageBoxes final : public MessageBoxes
{
public:
    // The box is modal to `parent` (may be set later, once the window exists).
    void setParentWidget(QWidget* parent) { m_parent = parent; }
    MessageAnswer show(const Message& message) override;

private:
    QPointer<QWidget> m_parent;
};

// The text as the box shows it: each "\r\n" becomes a line break of its own.
QString displayedMessageText(const std::string& text);

} // namespace klangdorn
