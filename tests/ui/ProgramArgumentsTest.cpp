// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: help and version answered and ended, one file taken as the
// source (as the desktop's "Open with" gives it), everything else refused in German.
#include "ui/ProgramArguments.h"

#include "WindowFixture.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

struct Outcome {
    StartRequest request;
    QString out;
    QString err;
};

Outcome parse(const QStringList& arguments)
{
    Outcome outcome;
    QTextStream out(&outcome.out);
    QTextStream err(&outcome.err);
    outcome.request = parseProgramArguments(QStringList{"Klangdorn_d"} + arguments, out, err);
    return outcome;
}

struct ArgumentCase {
    QStringList arguments;
    std::optional<int> exitCode;
    const char* out; // what standard output starts with; nullptr: nothing written
    const char* err; // what standard error contains; nullptr: nothing written
};

void PrintTo(const ArgumentCase& c, std::ostream* os)
{
    *os << c.arguments.join(' ').toStdString();
}

class Arguments : public testing::TestWithParam<ArgumentCase>
{
};

TEST_P(Arguments, AnswerOrRefuseAndEnd)
{
    const ArgumentCase& c = GetParam();
    const Outcome outcome = parse(c.arguments);
    EXPECT_EQ(outcome.request.exitCode, c.exitCode);
    EXPECT_EQ(outcome.request.sourceFile, std::nullopt);
    EXPECT_EQ(outcome.request.unusableFile, std::nullopt);
    if (c.out)
        EXPECT_TRUE(outcome.out.startsWith(c.out)) << outcome.out.toStdString();
    else
        EXPECT_TRUE(outcome.out.isEmpty()) << outcome.out.toStdString();
    if (c.err) {
        EXPECT_TRUE(outcome.err.startsWith("Klangdorn_d: ")) << outcome.err.toStdString();
        EXPECT_TRUE(outcome.err.contains(c.err)) << outcome.err.toStdString();
        EXPECT_EQ(outcome.err.count('\n'), 1) << "one line";
    } else {
        EXPECT_TRUE(outcome.err.isEmpty()) << outcome.err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Arguments,
    testing::Values(ArgumentCase{{}, std::nullopt, nullptr, nullptr},
                    ArgumentCase{
                        {"--help"}, 0, "Aufruf: Klangdorn_d [Optionen] [Quelldatei]", nullptr},
                    ArgumentCase{{"-h"}, 0, "Aufruf: Klangdorn_d", nullptr},
                    ArgumentCase{{"--version"}, 0, "Klangdorn_d " KLANGDORN_VERSION "\n", nullptr},
                    ArgumentCase{{"--laut"}, 2, nullptr, "Unbekannte Option „laut“."},
                    ArgumentCase{{"/a.wav", "/b.wav"},
                                 2,
                                 nullptr,
                                 "Nur eine Quelldatei ist möglich, angegeben sind 2."}));

class FileArgument : public WindowFixture
{
};

TEST_F(FileArgument, FillsTheSourceAndProposesTheTargetAsTheDialogWould)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString path = folder.path() + "/Meine Aufnahmen/konzert.wav";
    ASSERT_TRUE(QDir().mkpath(folder.path() + "/Meine Aufnahmen"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    // A relative path counts from the folder the program was started in.
    const QString startFolder = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const Outcome outcome = parse({"Meine Aufnahmen/konzert.wav"});
    QDir::setCurrent(startFolder);
    EXPECT_EQ(outcome.request.exitCode, std::nullopt);
    ASSERT_EQ(outcome.request.sourceFile, path.toStdString());

    store(SettingKey::OutputType, "mpa");
    start();
    window->applySource(*outcome.request.sourceFile);
    EXPECT_EQ(control<QLineEdit>("txtInputFile")->text(), path);
    EXPECT_EQ(control<QLineEdit>("txtOutputFile")->text(),
              folder.path() + "/Meine Aufnahmen/konzert.mpa");
    EXPECT_EQ(stored(SettingKey::InputDir), (folder.path() + "/Meine Aufnahmen").toStdString());
    EXPECT_TRUE(dialog.shown.empty());
}

using UnusableFileArgument = WindowFixture;

// From the desktop's menu there is no terminal: a file that cannot be the source opens the
// window, and once it is on screen one box names the file; the source stays empty.
TEST_F(UnusableFileArgument, OpensTheWindowAndSaysWhy)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString present = folder.path() + "/da.wav";
    QFile(present).open(QIODevice::WriteOnly);
    const QString why = "\r\nBitte die Quelldatei über „...“ neben dem Feld wählen.";
    const struct {
        QString argument;
        QString box; // empty: none, the file is the source
    } cases[] = {{folder.path() + "/fehlt.wav",
                  "Die Quelldatei „" + folder.path() + "/fehlt.wav“ gibt es nicht." + why},
                 {folder.path(), "„" + folder.path() + "“ ist ein Ordner, keine Datei." + why},
                 {present, ""}};
    for (const auto& c : cases) {
        const Outcome outcome = parse({c.argument});
        EXPECT_EQ(outcome.request.exitCode, std::nullopt);
        EXPECT_TRUE(outcome.err.isEmpty()) << outcome.err.toStdString();
        messages.shown.clear();
        restart();
        ApplyStartRequest(*window, messages, outcome.request);
        EXPECT_TRUE(messages.shown.empty()) << "a box before the window is on screen";
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        QTest::qWait(50); // the steps after the first paint
        QStringList boxes;
        for (const Message& box : messages.shown)
            boxes << QString::fromStdString(box.text);
        EXPECT_EQ(boxes, c.box.isEmpty() ? QStringList() : QStringList{c.box});
        EXPECT_EQ(control<QLineEdit>("txtInputFile")->text(), c.box.isEmpty() ? present : "");
    }
}

// Qt's own options are left to Qt, with their values; everything else is the program's.
TEST(ToolkitOptions, AreSetAsideForTheToolkit)
{
    const std::vector<std::pair<QStringList, QStringList>> rows{
        {{"K", "-platform", "offscreen", "--hilfe"}, {"K", "--hilfe"}},
        {{"K", "--style", "Fusion", "-reverse", "a.wav"}, {"K", "a.wav"}},
        {{"K", "-session", "x", "-widgetcount", "-v"}, {"K", "-v"}},
        {{"K", "--platformx", "-", "a"}, {"K", "--platformx", "-", "a"}},
        {{"K", "--", "-platform", "b"}, {"K", "--", "-platform", "b"}},
        {{"-platform"}, {"-platform"}},
    };
    for (const auto& [given, kept] : rows)
        EXPECT_EQ(withoutToolkitOptions(given), kept) << given.join(' ').toStdString();
}

} // namespace
