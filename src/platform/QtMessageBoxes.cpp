// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtMessageBoxes.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace klangdorn
{

QString displayedMessageText(const std::string& text)
{
    QString shown = QString::fromStdString(text);
    shown.replace(QString::fromLatin1(LineBreak), QStringLiteral("\n"));
    return shown;
}

namespace
{
// The detail is the box's informative text, taken as plain text: a transcoder's output may
// hold anything that looks like markup.
void showDetail(QMessageBox& box, const std::string& detail)
{
    if (detail.empty())
        return;
    box.setInformativeText(QString::fromStdString(detail));
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}
} // namespace

MessageAnswer QtMessageBoxes::show(const Message& message)
{
    QMessageBox box(m_parent);
    box.setWindowModality(Qt::WindowModal);
    box.setWindowTitle(QString::fromStdString(message.caption));
    box.setText(displayedMessageText(message.text));
    box.setTextFormat(Qt::PlainText);
    showDetail(box, message.detail);
    box.setIcon(message.icon == MessageIcon::Exclamation ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon);
    if (message.buttons == MessageButtons::Ok) {
        QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
        box.exec();
        return MessageAnswer::Ok;
    }
    QPushButton* yes = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes ? MessageAnswer::Yes : MessageAnswer::No;
}

} // namespace klangdorn
