// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ProgramArguments.h"

#include "ui/AfterFirstPaint.h"
#include "ui/frmMain.h"

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
    return StartRequest{WrongCommandLine, std::nullopt, std::nullopt};
}

StartRequest unusable(const QString& what, const char* caption)
{
    return StartRequest{std::nullopt, std::nullopt,
                        Message{what.toStdString() + LineBreak +
                                    "Bitte die Quelldatei über „...“ neben dem Feld wählen.",
                                MessageButtons::Ok, MessageIcon::Exclamation, caption}};
}

StartRequest answer(QTextStream& out, const QString& text)
{
    out << text;
    out.flush();
    return StartRequest{0, std::nullopt, std::nullopt};
}

// The toolkit's own options, as its application objects take them off the command line.
const QStringList ToolkitOptionsWithValue{"platform",
                                          "platformpluginpath",
                                          "platformtheme",
                                          "plugin",
                                          "qwindowgeometry",
                                          "qwindowicon",
                                          "qwindowtitle",
                                          "session",
                                          "display",
                                          "geometry",
                                          "title",
                                          "name",
                                          "qmljsdebugger",
                                          "style",
                                          "stylesheet",
                                          "dialogs",
                                          "visual",
                                          "font",
                                          "fn",
                                          "background",
                                          "bg",
                                          "foreground",
                                          "fg",
                                          "button",
                                          "btn",
                                          "im",
                                          "inputstyle"};
const QStringList ToolkitFlags{"reverse", "testability", "nograb", "dograb",
                               "sync",    "widgetcount", "cmap",   "noxim"};

// The option's name without its one or two dashes, empty for anything else.
QString optionName(const QString& argument)
{
    if (argument.startsWith(QLatin1String("--")))
        return argument.mid(2);
    if (argument.startsWith(QLatin1Char('-')))
        return argument.mid(1);
    return {};
}

} // namespace

QStringList withoutToolkitOptions(const QStringList& arguments)
{
    QStringList kept;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString name = i == 0 ? QString() : optionName(arguments[i]);
        if (arguments[i] == QLatin1String("--")) {
            kept += arguments.mid(i);
            break;
        }
        if (ToolkitOptionsWithValue.contains(name)) {
            ++i; // and its value
            continue;
        }
        if (!ToolkitFlags.contains(name))
            kept << arguments[i];
    }
    return kept;
}

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
        return unusable(QStringLiteral("Die Quelldatei „%1“ gibt es nicht.").arg(files.first()),
                        "Quelldatei nicht gefunden");
    if (source.isDir())
        return unusable(QStringLiteral("„%1“ ist ein Ordner, keine Datei.").arg(files.first()),
                        "Quelldatei ungültig");
    return StartRequest{std::nullopt,
                        QDir::toNativeSeparators(source.absoluteFilePath()).toStdString(),
                        std::nullopt};
}

void ApplyStartRequest(frmMain& window, MessageBoxes& messages, const StartRequest& request)
{
    if (request.sourceFile)
        window.applySource(*request.sourceFile);
    if (request.unusableFile)
        RunAfterFirstPaint(window,
                           [&messages, box = *request.unusableFile] { messages.show(box); });
}

} // namespace klangdorn
