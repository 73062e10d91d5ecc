// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/QtFileDialog.h"

#include "job/FileChoiceRules.h"
#include "job/FileChoices.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QSortFilterProxyModel>

namespace klangdorn
{

namespace
{

// The name the bundled transcoder carries off Windows, and the one users look for.
const QString TranscoderExeName = QStringLiteral("besweet.exe");
const QString TranscoderBareName = QStringLiteral("besweet");

QString startFolder(const FileDialogSettings& settings)
{
    if (!settings.initDir.empty())
        return QString::fromStdString(settings.initDir);
    if (settings.withoutInitDir == StartFolder::HomeFolder)
        return QDir::homePath();
    return QCoreApplication::applicationDirPath();
}

// A name typed without an extension gets one. Done here rather than by Qt's default suffix,
// which would also apply to an Open dialog and hide the bundled transcoder.
QString withExtension(const QString& path, const std::string& extension)
{
    if (extension.empty() || extensionOf(bareNameOf(path.toStdString())))
        return path;
    return path + QLatin1Char('.') + QString::fromStdString(extension);
}

// The entry of the dialog's name filters that it shows as chosen; -1 when none. With the
// pattern part hidden, the dialog names the entry by its description alone.
int shownFilterIndex(const QFileDialog& dialog)
{
    const QString shown = dialog.selectedNameFilter();
    const QStringList filters = dialog.nameFilters();
    for (qsizetype i = 0; i < filters.size(); ++i)
        if (filters[i] == shown || filters[i].startsWith(shown + QStringLiteral(" (")))
            return static_cast<int>(i);
    return -1;
}

// Picking a file type in a Save dialog makes Qt swap a typed extension for the type's first
// pattern, which here is the any-case one ("clip.[mM][pP][aA]"): the plain extension is
// meant. Gives the path with that extension.
QString withPlainExtension(const QString& path, const QFileDialog& dialog,
                           const FileDialogSettings& settings)
{
    const auto plain = extensionOfFilterEntry(settings.filter, shownFilterIndex(dialog));
    if (!plain)
        return path;
    const QString anyCase = anyCasePattern(QString::fromStdString(*plain));
    if (anyCase == QString::fromStdString(*plain) || !path.endsWith(QLatin1Char('.') + anyCase))
        return path;
    return path.chopped(anyCase.size()) + QString::fromStdString(*plain);
}

// Shows the plain extension in the name field too, once Qt has swapped it.
void keepTypedExtensionsPlain(QFileDialog& dialog, const FileDialogSettings& settings)
{
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    auto* nameField = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (!types || !nameField)
        return;
    QObject::connect(
        types, &QComboBox::currentIndexChanged, nameField,
        [&dialog, &settings, nameField] {
            nameField->setText(withPlainExtension(nameField->text(), dialog, settings));
        },
        Qt::QueuedConnection);
}

// The extension for a typed name without one: that of a file type the user picked in the
// dialog, else the default one.
std::string extensionToAppend(const QFileDialog& dialog, const FileDialogSettings& settings)
{
    const int picked = shownFilterIndex(dialog);
    if (picked >= 0 && picked != settings.filterIndex)
        if (auto extension = extensionOfFilterEntry(settings.filter, picked))
            return *extension;
    return settings.defaultExt;
}

// Qt shows a preset whose folder does not exist relative to the dialog's folder, without its
// leading "/", and answers with a file in the dialog's folder. The full path is what the
// user must see and get.
void presetFile(QFileDialog& dialog, const std::string& fileName)
{
    const QString preset = QString::fromStdString(fileName);
    dialog.selectFile(preset);
    const QFileInfo info(preset);
    if (info.isAbsolute() && !info.dir().exists())
        if (auto* nameField = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            nameField->setText(preset);
}

#ifndef Q_OS_WIN
// Off Windows a program needs no ".exe": choosing the transcoder also offers every file the
// user may run.
const QString AllPrograms = QStringLiteral("Alle Programme");

// Lets folders and, while `onlyPrograms` is set, only files the user may run through.
class ProgramsOnly final : public QSortFilterProxyModel
{
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setOnlyPrograms(bool onlyPrograms)
    {
        m_onlyPrograms = onlyPrograms;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!m_onlyPrograms || !files)
            return true;
        const QFileInfo info = files->fileInfo(files->index(row, 0, parent));
        return info.isDir() || info.isExecutable();
    }

private:
    bool m_onlyPrograms = false;
};

void offerAllPrograms(QFileDialog& dialog, QStringList& filters)
{
    filters << AllPrograms + QStringLiteral(" (*)");
    auto* programs = new ProgramsOnly(&dialog);
    dialog.setProxyModel(programs);
    auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (!types)
        return;
    const auto programsEntry = static_cast<int>(filters.size() - 1);
    QObject::connect(types, &QComboBox::currentIndexChanged, programs,
                     [programs, programsEntry](int index) {
                         programs->setOnlyPrograms(index == programsEntry);
                     });
}
#endif

} // namespace

QString anyCasePattern(const QString& pattern)
{
    QString result;
    for (const QChar c : pattern) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (lower == upper)
            result += c;
        else
            result += QLatin1Char('[') + lower + upper + QLatin1Char(']');
    }
    return result;
}

QStringList dialogPatterns(const QString& patternList)
{
    QStringList patterns;
    for (const QString& pattern : patternList.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString trimmedPattern = pattern.trimmed();
        patterns << anyCasePattern(trimmedPattern);
#ifndef Q_OS_WIN
        if (trimmedPattern.compare(TranscoderExeName, Qt::CaseInsensitive) == 0)
            patterns << anyCasePattern(TranscoderBareName);
#endif
    }
    return patterns;
}

QStringList nameFilters(const std::string& filterList)
{
    const QStringList parts = QString::fromStdString(filterList).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + QStringLiteral(" (") + dialogPatterns(parts[i + 1]).join(' ') +
                       QLatin1Char(')');
    return filters;
}

std::optional<FileChoice> QtFileDialog::show(FileDialogMode mode,
                                             const FileDialogSettings& settings)
{
    QFileDialog dialog(m_parent, QString::fromStdString(settings.title), startFolder(settings));
    const bool save = mode == FileDialogMode::Save;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    QStringList filters = nameFilters(settings.filter);
#ifndef Q_OS_WIN
    if (settings.filter == FileChoiceTexts::BesweetFilter)
        offerAllPrograms(dialog, filters);
#endif
    dialog.setNameFilters(filters);
    if (settings.filterIndex >= 0 && settings.filterIndex < filters.size())
        dialog.selectNameFilter(filters[settings.filterIndex]);
    if (!settings.fileName.empty())
        presetFile(dialog, settings.fileName);
    if (save)
        keepTypedExtensionsPlain(dialog, settings);

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    QString path = dialog.selectedFiles().constFirst();
    if (save)
        path = withExtension(withPlainExtension(path, dialog, settings),
                             extensionToAppend(dialog, settings));
    path = QDir::toNativeSeparators(path);
    const std::string fullPath = path.toStdString();
    return FileChoice{fullPath, std::string(bareNameOf(fullPath))};
}

} // namespace klangdorn
