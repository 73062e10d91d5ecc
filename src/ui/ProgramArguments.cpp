// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgramArguments.h"

#include "job/UserDialogs.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace klangdorn
{

namespace
{

const QString Program = QString::fromLatin1(ApplicationTitle);

QString helpText()
{
    return QStringLiteral(
               "Aufruf: %1 [Optionen] [Quelldatei]\n"
               "\n"
               "Wandelt eine Audiodatei (WAV, MPEG-Audio, AC3 oder RAW PCM) in eine DVD-Tonspur:\n"
               "MPEG-1 Layer II (.mpa) oder Dolby Digital 2.0 (.ac3).\n"
               "\n"
               "Optionen:\n"
               "  -h, --help     Zeigt diese Hilfe.\n"
               "  -v, --version  Zeigt die Version.\n"
               "\n"
               "Argumente:\n"
               "  Quelldatei     Wird gewählt wie im Dialog der Quelldatei; die Zieldatei\n"
               "                 wird vorgeschlagen.\n")
        .arg(Program);
}

StartRequest refuse(QTextStream& err, const QString& what)
{
    err << Program << ": " << what
        << QStringLiteral(" „%1 --help“ zeigt den Aufruf.\n").arg(Program);
    err.flush();
    return StartRequest{WrongCommandLine, std::nullopt};
}

StartRequest answer(QTextStream& out, const QString& text)
{
    out << text;
    out.flush();
    return StartRequest{0, std::nullopt};
}

} // namespace

StartRequest parseProgramArguments(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")}, QString());
    parser.addOption(help);
    parser.addOption(version);
    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty())
            return refuse(err, QStringLiteral("Unbekannte Option „%1“.").arg(unknown.first()));
        return refuse(err, parser.errorText());
    }
    if (parser.isSet(help))
        return answer(out, helpText());
    if (parser.isSet(version))
        return answer(out, Program + QLatin1Char(' ') + QStringLiteral(KLANGDORN_VERSION) +
                               QLatin1Char('\n'));

    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        return {};
    if (files.size() > 1)
        return refuse(err, QStringLiteral("Nur eine Quelldatei ist möglich, angegeben sind %1.")
                               .arg(files.size()));
    const QFileInfo source(files.first());
    if (!source.exists())
        return refuse(err, QStringLiteral("Die Quelldatei „%1“ gibt es nicht.").arg(files.first()));
    if (source.isDir())
        return refuse(err, QStringLiteral("„%1“ ist ein Ordner, keine Datei.").arg(files.first()));
    return StartRequest{std::nullopt,
                        QDir::toNativeSeparators(source.absoluteFilePath()).toStdString()};
}

} // namespace klangdorn
