#include "platform/QtFileDialog.h"

#include "job/FileChoiceRules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>

namespace klangdorn
{

namespace
{

// The name the bundled transcoder carries off Windows, and the one users look for.
const QString TranscoderExeName = QStringLiteral("besweet.exe");
const QString TranscoderBareName = QStringLiteral("besweet");

QString startFolder(const std::string& initDir)
{
    if (initDir.empty())
        return QCoreApplication::applicationDirPath();
    return QString::fromStdString(initDir);
}

// A name typed without an extension gets the default one. Done here rather than by Qt's
// default suffix, which would also apply to an Open dialog and hide the bundled transcoder.
QString withDefaultExtension(const QString& path, const std::string& defaultExt)
{
    if (defaultExt.empty() || extensionOf(bareNameOf(path.toStdString())))
        return path;
    return path + QLatin1Char('.') + QString::fromStdString(defaultExt);
}

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
    QFileDialog dialog(m_parent, QString::fromStdString(settings.title),
                       startFolder(settings.initDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setWindowModality(Qt::WindowModal);
    const bool save = mode == FileDialogMode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(nameFilters(settings.filter));
    if (!settings.fileName.empty())
        dialog.selectFile(QString::fromStdString(settings.fileName));

    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    QString path = dialog.selectedFiles().constFirst();
    if (save)
        path = withDefaultExtension(path, settings.defaultExt);
    path = QDir::toNativeSeparators(path);
    const std::string fullPath = path.toStdString();
    return FileChoice{fullPath, std::string(bareNameOf(fullPath))};
}

} // namespace klangdorn
