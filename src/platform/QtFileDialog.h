// SPDX-License-Identifier: GPL-3.0-or-later
// The file dialog as Qt's own (non-native) QFileDialog, modal to the main window: the
// "description|pattern;pattern|..." filter list becomes name filters that match in any
// letter case, a typed name without an extension gets the default one, overwriting is never
// asked about, and without an initial folder the dialog opens in the program's folder.
#pragma once

#include "job/UserDialogs.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

namespace klangdorn
{

class QtFileDialog final : public FileDialogBackend
{
public:
    void setParentWidget(QWidget* parent) { m_parent = parent; }
    std::optional<FileChoice> show(FileDialogMode mode,
                                   const FileDialogSettings& settings) override;

private:
    QPointer<QWidget> m_parent;
};

// "*.wav" becomes "*.[wW][aA][vV]": Qt matches name filters case-sensitively on POSIX.
QString anyCasePattern(const QString& pattern);

// The patterns one filter entry lists in the dialog. Off Windows, "besweet.exe" also lists
// "besweet", the bundled transcoder, which carries no extension there.
QStringList dialogPatterns(const QString& patternList);

// One name filter per "description|patterns" pair; the description is what the user sees,
// the patterns follow in a last pair of parentheses, which the dialog hides.
QStringList nameFilters(const std::string& filterList);

} // namespace klangdorn
