// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFixture.h"
#include "job/RuntimeError.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

// ---- Start-up and shutdown ----------------------------------------------------------------

class StartUp : public WindowFixture
{
};

TEST_F(StartUp, FirstStartShowsTheDefaultsAndStoresOnlyUpsampling)
{
    start();
    EXPECT_EQ(window->windowTitle(), "Klangdorn [Besweet]");
    EXPECT_EQ(control<QComboBox>("cmbInputSamplerate")->currentText(), "44.1 kHz");
    EXPECT_EQ(control<QComboBox>("cmbOutputBitrate")->currentText(), "192 kbps");
    EXPECT_EQ(control<QComboBox>("cmbOutputChannelmode")->currentText(), "Stereo");
    EXPECT_EQ(control<QComboBox>("cmbOutputChannelmode")->count(), 4);
    EXPECT_FALSE(control<QCheckBox>("chkInputRAWPCM")->isChecked());
    EXPECT_FALSE(control<QComboBox>("cmbInputSamplerate")->isEnabled());
    EXPECT_FALSE(control<QLabel>("lblInputSamplerate")->isEnabled());
    EXPECT_FALSE(control<QCheckBox>("chkWriteLog")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("chkShowBesweet")->isChecked());
    EXPECT_TRUE(control<QCheckBox>("chkResample")->isChecked());
    EXPECT_EQ(control<QSlider>("sldNormalize")->value(), 95);
    EXPECT_EQ(control<QLabel>("lblNormalize")->text(), "Normalisierungslevel (95%)  ");
    EXPECT_TRUE(control<QAction>("mnuSetToTop")->isChecked());
    EXPECT_EQ(stacking.calls, std::vector<bool>{true});
    EXPECT_TRUE(control<QLineEdit>("txtInputFile")->text().isEmpty());
    EXPECT_TRUE(control<QLineEdit>("txtOutputFile")->text().isEmpty());
    EXPECT_EQ(window->focusWidget(), control<QLineEdit>("txtInputFile"));
    EXPECT_FALSE(control<QTimer>("tmrProgress")->isActive());
    EXPECT_EQ(control<QTimer>("tmrProgress")->interval(), 100);

    StoredKeys expected = StoredKeys{};
    for (SettingKey key : allKeys)
        expected[std::string(definitionOf(key).name)] = std::nullopt;
    expected["Upsampling"] = "1";
    EXPECT_EQ(storedKeys(), expected);
    EXPECT_TRUE(messages.shown.empty());
}

struct StoredOptions {
    const char* writeLog;
    const char* showBesweet;
    const char* normalize;
    const char* upsampling;
    const char* alwaysOnTop;
    bool writeLogChecked;
    bool showBesweetChecked;
    int level;
    bool resampleChecked;
    bool onTop;
};

class Restart : public WindowFixture, public testing::WithParamInterface<StoredOptions>
{
};

TEST_P(Restart, RestoresStoredOptionsAndReadsBadOnesAsTheirDefaults)
{
    const StoredOptions& o = GetParam();
    store(SettingKey::WriteLog, o.writeLog);
    store(SettingKey::ShowBesweet, o.showBesweet);
    store(SettingKey::Normalize, o.normalize);
    store(SettingKey::Upsampling, o.upsampling);
    store(SettingKey::AlwaysOnTop, o.alwaysOnTop);

    start();
    EXPECT_EQ(control<QCheckBox>("chkWriteLog")->isChecked(), o.writeLogChecked);
    EXPECT_EQ(control<QCheckBox>("chkShowBesweet")->isChecked(), o.showBesweetChecked);
    EXPECT_EQ(control<QSlider>("sldNormalize")->value(), o.level);
    EXPECT_EQ(control<QLabel>("lblNormalize")->text(),
              QString("Normalisierungslevel (%1%)  ").arg(o.level));
    EXPECT_EQ(control<QCheckBox>("chkResample")->isChecked(), o.resampleChecked);
    EXPECT_EQ(control<QAction>("mnuSetToTop")->isChecked(), o.onTop);
    EXPECT_EQ(stacking.calls, o.onTop ? std::vector<bool>{true} : std::vector<bool>{});
    EXPECT_FALSE(control<QCheckBox>("chkInputRAWPCM")->isChecked());

    // A box that the load step ticks stores "1"; one left unticked keeps its stored text.
    EXPECT_EQ(stored(SettingKey::WriteLog), o.writeLogChecked ? "1" : o.writeLog);
    EXPECT_EQ(stored(SettingKey::ShowBesweet), o.showBesweetChecked ? "1" : o.showBesweet);
    EXPECT_EQ(stored(SettingKey::Upsampling), o.resampleChecked ? "1" : o.upsampling);
    EXPECT_EQ(stored(SettingKey::Normalize), o.normalize);
    EXPECT_EQ(stored(SettingKey::AlwaysOnTop), o.alwaysOnTop);
    EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    StoredValues, Restart,
    testing::Values(StoredOptions{"1", "1", "40", "0", "0", true, true, 40, false, false},
                    StoredOptions{"0", "0", "0", "1", "1", false, false, 0, true, true},
                    StoredOptions{"1", "0", "100", "1", "True", true, false, 100, true, true},
                    StoredOptions{"0", "1", "60", "0", "false", false, true, 60, false, false},
                    StoredOptions{"abc", "2", "150", "abc", "abc", false, false, 100, true, true},
                    StoredOptions{"-1", "", "-5", "7", "", false, false, 0, true, true},
                    StoredOptions{"1", "1", "xyz", "0", "0", true, true, 95, false, false}));

// A start writes only where the restored state is not stored as such: a read-only store
// shows each write the load step makes as one failure box.
struct StartWrite {
    const char* writeLog;
    const char* upsampling; // nullptr: never stored
    std::size_t writes;
};

class StartWrites : public WindowFixture, public testing::WithParamInterface<StartWrite>
{
};

TEST_P(StartWrites, OnlyWhereTheStoreDoesNotHoldTheRestoredState)
{
    store(SettingKey::WriteLog, GetParam().writeLog);
    if (GetParam().upsampling)
        store(SettingKey::Upsampling, GetParam().upsampling);
    else
        store(SettingKey::ShowBesweet, "0"); // the store's file exists all the same
    const QString file = qEnvironmentVariable("XDG_CONFIG_HOME") + "/" + OrganizationName + "/" +
                         QString::fromStdString(application) + ".conf";
    ASSERT_TRUE(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup));

    start();
    EXPECT_EQ(messages.shown.size(), GetParam().writes);
    EXPECT_TRUE(control<QCheckBox>("chkResample")->isChecked());
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}

INSTANTIATE_TEST_SUITE_P(StoredTexts, StartWrites,
                         testing::Values(StartWrite{"1", "1", 0}, StartWrite{"0", "1", 0},
                                         StartWrite{"1", nullptr, 1}, StartWrite{"01", "1", 1},
                                         StartWrite{"1", " 1", 1}, StartWrite{"01", "abc", 2}));

TEST_F(StartUp, ClosingStoresTheLevelForTheNextStart)
{
    start();
    control<QSlider>("sldNormalize")->setValue(60);
    EXPECT_EQ(stored(SettingKey::Normalize), std::nullopt) << "moving the slider writes nothing";
    window->close();
    EXPECT_EQ(stored(SettingKey::Normalize), "60");

    restart();
    EXPECT_EQ(control<QSlider>("sldNormalize")->value(), 60);
    // A close requested from outside (system menu, log-off) stores as well.
    control<QSlider>("sldNormalize")->setValue(7);
    QCloseEvent request;
    QApplication::sendEvent(window.get(), &request);
    EXPECT_TRUE(request.isAccepted());
    EXPECT_EQ(stored(SettingKey::Normalize), "7");
}

TEST_F(StartUp, OptionListsStartOverAtEveryStart)
{
    start();
    control<QComboBox>("cmbInputSamplerate")->setCurrentIndex(2);
    control<QComboBox>("cmbOutputBitrate")->setCurrentIndex(2);
    control<QComboBox>("cmbOutputChannelmode")->setCurrentIndex(3);
    window->close();
    restart();
    const ControlValues values = window->readControls();
    EXPECT_EQ(values.inputSamplerate, 1);
    EXPECT_EQ(values.outputBitrate, 0);
    EXPECT_EQ(values.outputChannelmode, 0);
}

// ---- Option controls ----------------------------------------------------------------------

enum class Way { Mouse, Keyboard, Program };

struct SavingBox {
    const char* name;
    SettingKey key;
};

class SavingCheckBoxes : public WindowFixture,
                         public testing::WithParamInterface<std::tuple<SavingBox, Way>>
{
protected:
    void toggle(QCheckBox& box, Way way)
    {
        switch (way) {
        case Way::Mouse:
            QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(6, box.height() / 2));
            break;
        case Way::Keyboard:
            box.setFocus();
            QTest::keyClick(&box, Qt::Key_Space);
            break;
        case Way::Program:
            box.setChecked(!box.isChecked());
            break;
        }
    }
};

TEST_P(SavingCheckBoxes, EachChangeStoresTheBoxOwnKeyAndNoOther)
{
    const auto [box, way] = GetParam();
    start();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    auto* check = control<QCheckBox>(box.name);
    const std::string keyName(definitionOf(box.key).name);

    for (int change = 0; change < 2; ++change) {
        StoredKeys expected = storedKeys();
        const bool before = check->isChecked();
        toggle(*check, way);
        ASSERT_NE(check->isChecked(), before);
        expected[keyName] = check->isChecked() ? "1" : "0";
        EXPECT_EQ(storedKeys(), expected) << "change " << change;
    }
}

INSTANTIATE_TEST_SUITE_P(
    BoxesAndWays, SavingCheckBoxes,
    testing::Combine(testing::Values(SavingBox{"chkWriteLog", SettingKey::WriteLog},
                                     SavingBox{"chkShowBesweet", SettingKey::ShowBesweet},
                                     SavingBox{"chkResample", SettingKey::Upsampling}),
                     testing::Values(Way::Mouse, Way::Keyboard, Way::Program)));

class OptionControls : public WindowFixture
{
};

TEST_F(OptionControls, RawPcmBoxEnablesTheSampleRateAndStoresNothing)
{
    start();
    auto* rawPcm = control<QCheckBox>("chkInputRAWPCM");
    const StoredKeys before = storedKeys();
    rawPcm->setChecked(true);
    EXPECT_TRUE(control<QComboBox>("cmbInputSamplerate")->isEnabled());
    EXPECT_TRUE(control<QLabel>("lblInputSamplerate")->isEnabled());
    EXPECT_EQ(control<QComboBox>("cmbInputSamplerate")->currentIndex(), 1);
    QTest::keyClick(rawPcm, Qt::Key_Space);
    EXPECT_FALSE(control<QComboBox>("cmbInputSamplerate")->isEnabled());
    EXPECT_FALSE(control<QLabel>("lblInputSamplerate")->isEnabled());
    EXPECT_EQ(storedKeys(), before);
}

TEST_F(OptionControls, LevelLabelFollowsTheSliderHoweverItMoves)
{
    start();
    auto* slider = control<QSlider>("sldNormalize");
    auto* label = control<QLabel>("lblNormalize");
    slider->setFocus();

    QTest::keyClick(slider, Qt::Key_Left);
    EXPECT_EQ(label->text(), "Normalisierungslevel (94%)  ");
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(label->text(), "Normalisierungslevel (84%)  ");
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(label->text(), "Normalisierungslevel (100%)  ");
    slider->setValue(73);
    EXPECT_EQ(label->text(), "Normalisierungslevel (73%)  ");
    label->setText("stale");
    QMouseEvent move(QEvent::MouseMove, QPointF(6, 6), slider->mapToGlobal(QPointF(6, 6)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(slider, &move);
    EXPECT_EQ(label->text(), "Normalisierungslevel (73%)  ");
    EXPECT_EQ(stored(SettingKey::Normalize), std::nullopt);
}

TEST_F(OptionControls, AlwaysOnTopTogglesAppliesAndStores)
{
    start();
    auto* onTop = control<QAction>("mnuSetToTop");
    onTop->trigger();
    EXPECT_FALSE(onTop->isChecked());
    EXPECT_EQ(stored(SettingKey::AlwaysOnTop), "False");
    onTop->trigger();
    EXPECT_TRUE(onTop->isChecked());
    EXPECT_EQ(stored(SettingKey::AlwaysOnTop), "True");
    EXPECT_EQ(stacking.calls, (std::vector<bool>{true, false, true}));
}

TEST_F(OptionControls, TypedComboTextSelectsNoPosition)
{
    start();
    auto* bitrate = control<QComboBox>("cmbOutputBitrate");
    bitrate->setCurrentIndex(2);
    EXPECT_EQ(window->readControls().outputBitrate, 2);

    bitrate->setFocus();
    bitrate->lineEdit()->selectAll();
    QTest::keyClicks(bitrate->lineEdit(), "320 kbps");
    EXPECT_EQ(bitrate->currentText(), "320 kbps");
    EXPECT_EQ(window->readControls().outputBitrate, -1);

    bitrate->setCurrentIndex(1);
    EXPECT_EQ(window->readControls().outputBitrate, 1);
    auto* channels = control<QComboBox>("cmbOutputChannelmode");
    channels->setEditText("Mon");
    EXPECT_EQ(window->readControls().outputChannelmode, -1);
    EXPECT_EQ(window->readControls().inputSamplerate, 1);
}

// ---- Source and target choices ------------------------------------------------------------

struct SourceCase {
    const char* chosen;
    const char* outputType; // stored before, nullptr: none
    const char* inputDir;
    const char* proposal;
};

class SourceChoice : public WindowFixture, public testing::WithParamInterface<SourceCase>
{
};

TEST_P(SourceChoice, FillsBothFieldsAndStoresTheFolder)
{
    const SourceCase& c = GetParam();
    if (c.outputType)
        store(SettingKey::OutputType, c.outputType);
    store(SettingKey::InputDir, "/previous");
    start();
    dialog.choose(c.chosen);
    control<QPushButton>("cmdInput")->click();

    ASSERT_EQ(dialog.shown.size(), 1u);
    EXPECT_EQ(dialog.shown[0].mode, FileDialogMode::Open);
    EXPECT_EQ(dialog.shown[0].settings.initDir, "/previous");
    EXPECT_EQ(dialog.shown[0].settings.title, "Quelldatei (Audio) öffnen (WAV, MP3, AC3)");
    EXPECT_EQ(dialog.shown[0].settings.filter,
              "Wave-Audio (*.wav)|*.wav|MPEG-Audio (*.mp2, *.mpa, *.mp3)|*.mp2;*.mpa;*.mp3|"
              "Dolby Digital (*.ac3)|*.ac3|RAW PCM (*.pcm;*.raw)|*.pcm;*.raw|"
              "Alle Dateien (*.*)|*.*");
    EXPECT_EQ(dialog.shown[0].settings.filterIndex, 0);
    EXPECT_EQ(control<QLineEdit>("txtInputFile")->text().toStdString(), c.chosen);
    EXPECT_EQ(stored(SettingKey::InputDir), c.inputDir);
    EXPECT_EQ(control<QLineEdit>("txtOutputFile")->text().toStdString(), c.proposal);
    EXPECT_EQ(stored(SettingKey::OutputType),
              c.outputType ? std::optional<std::string>(c.outputType) : std::nullopt);
    EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SourceChoice,
    testing::Values(SourceCase{"/Audio/clip.wav", nullptr, "/Audio", "/Audio/clip.ac3"},
                    SourceCase{"/my.takes/clip", "ac3", "/my.takes", "/my.takes/clip.ac3"},
                    SourceCase{"/Audio/clip.wav", "MPA", "/Audio", "/Audio/clip.MPA"},
                    SourceCase{"/clip.wav", nullptr, "/", "/clip.ac3"},
                    SourceCase{R"(/d/we\ird.wav)", nullptr, "/d", R"(/d/we\ird.ac3)"}));

struct TargetCase {
    const char* source;
    const char* outputType; // stored before, nullptr: none
    const char* preset;
    const char* chosen;
    const char* outputDir;
    const char* outputTypeAfter; // nullptr: still as before
};

class TargetChoice : public WindowFixture, public testing::WithParamInterface<TargetCase>
{
};

TEST_P(TargetChoice, PresetsTheSourceAndStoresFolderAndOutputType)
{
    const TargetCase& c = GetParam();
    if (c.outputType)
        store(SettingKey::OutputType, c.outputType);
    store(SettingKey::OutputDir, "/out");
    start();
    control<QLineEdit>("txtInputFile")->setText(QString::fromStdString(c.source));
    dialog.choose(c.chosen);
    control<QPushButton>("cmdOutput")->click();

    ASSERT_EQ(dialog.shown.size(), 1u);
    const FileDialogSettings& shown = dialog.shown[0].settings;
    EXPECT_EQ(dialog.shown[0].mode, FileDialogMode::Save);
    EXPECT_EQ(shown.fileName, c.preset);
    EXPECT_EQ(shown.defaultExt, c.outputType ? c.outputType : "ac3");
    EXPECT_EQ(shown.initDir, "/out");
    EXPECT_EQ(shown.title, "Ausgabedatei speichern unter...");
    EXPECT_EQ(shown.filter, "MPEGI Layer II (*.mpa)|*.mpa|Dolby Digital 2.0 (*.ac3)|*.ac3");
    const std::string type = c.outputType ? c.outputType : "ac3";
    EXPECT_EQ(shown.filterIndex, type == "mpa" || type == "MPA" ? 0 : 1) << "the stored type";
    EXPECT_EQ(control<QLineEdit>("txtOutputFile")->text().toStdString(), c.chosen);
    EXPECT_EQ(stored(SettingKey::OutputDir), c.outputDir);
    const char* typeAfter = c.outputTypeAfter ? c.outputTypeAfter : c.outputType;
    EXPECT_EQ(stored(SettingKey::OutputType),
              typeAfter ? std::optional<std::string>(typeAfter) : std::nullopt);
    EXPECT_EQ(stored(SettingKey::InputDir), std::nullopt) << "a typed source stores no folder";
    EXPECT_TRUE(messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, TargetChoice,
                         testing::Values(TargetCase{"/Audio/clip.wav", nullptr, "/Audio/clip",
                                                    "/Out/clip.MPA", "/Out", "MPA"},
                                         TargetCase{"/my.takes/clip", "ac3", "/my.takes/clip",
                                                    "/my.takes/clip", "/my.takes", nullptr},
                                         TargetCase{"/home/a/clip.wav", "ac3", "/home/a/clip",
                                                    "/media/dvd/clip.", "/media/dvd", ""},
                                         TargetCase{"/home/a/clip.wav", "MPA", "/home/a/clip",
                                                    "/media/dvd/.hidden", "/media/dvd", nullptr},
                                         TargetCase{R"(/home/a.b\clip)", "mpa", R"(/home/a)",
                                                    R"(/o/x\y.mpa)", "/o", "mpa"},
                                         TargetCase{"  ", nullptr, "  ", "/x.mpa", "/", "mpa"}));

class FileChoices : public WindowFixture
{
};

TEST_F(FileChoices, CancellingEitherDialogChangesNothing)
{
    store(SettingKey::InputDir, "/in");
    start();
    control<QLineEdit>("txtInputFile")->setText("/in/a.wav");
    control<QLineEdit>("txtOutputFile")->setText("/out/a.ac3");
    const StoredKeys before = storedKeys();
    dialog.cancel();
    control<QPushButton>("cmdInput")->click();
    dialog.choices.push_back(FileChoice{"", ""}); // a dialog returning an empty name
    control<QPushButton>("cmdOutput")->click();

    EXPECT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(control<QLineEdit>("txtInputFile")->text(), "/in/a.wav");
    EXPECT_EQ(control<QLineEdit>("txtOutputFile")->text(), "/out/a.ac3");
    EXPECT_EQ(storedKeys(), before);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FileChoices, TargetWithoutSourceShowsOnlyTheWarning)
{
    start();
    const StoredKeys before = storedKeys();
    control<QPushButton>("cmdOutput")->click();
    EXPECT_TRUE(dialog.shown.empty());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], (Message{"Please choose Input-File first!", MessageButtons::Ok,
                                          MessageIcon::Exclamation, "Choose Input first"}));
    EXPECT_EQ(storedKeys(), before);
}

TEST_F(FileChoices, ASourceChoiceReplacesAnEarlierTargetWithItsProposal)
{
    start();
    control<QLineEdit>("txtInputFile")->setText("/in/a.wav");
    dialog.choose("/out/a.MPA");
    control<QPushButton>("cmdOutput")->click();
    dialog.choose("/in/b.wav");
    control<QPushButton>("cmdInput")->click();
    EXPECT_EQ(control<QLineEdit>("txtOutputFile")->text(), "/in/b.MPA");
}

// ---- Transcoder location ------------------------------------------------------------------

TEST_F(FileChoices, TranscoderLocationIsStoredReplacedAndKeptOnCancel)
{
    start();
    auto* locate = control<QAction>("mnuAllocToolame");
    dialog.choose(R"(C:\Tools\BeSweet\BeSweet.exe)");
    locate->trigger();
    EXPECT_EQ(stored(SettingKey::Besweet), R"(C:\Tools\BeSweet\BeSweet.exe)");

    dialog.choose("/opt/klangdorn/besweet");
    locate->trigger();
    EXPECT_EQ(stored(SettingKey::Besweet), "/opt/klangdorn/besweet");

    dialog.cancel();
    locate->trigger();
    EXPECT_EQ(stored(SettingKey::Besweet), "/opt/klangdorn/besweet");

    ASSERT_EQ(dialog.shown.size(), 3u);
    for (const auto& shown : dialog.shown) {
        EXPECT_EQ(shown.mode, FileDialogMode::Open);
        EXPECT_EQ(shown.settings.filter, "Ausführbare Dateien (*.exe)|besweet.exe");
        EXPECT_EQ(shown.settings.title, "Besweet.exe suchen");
        EXPECT_EQ(shown.settings.fileName, "") << "no earlier choice is preset";
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FileChoices, TranscoderDialogKeepsWhatTheLastUseLeft)
{
    store(SettingKey::InputDir, "/in");
    start();
    dialog.choose("/in/a.wav");
    control<QPushButton>("cmdInput")->click();
    control<QAction>("mnuAllocToolame")->trigger();
    ASSERT_EQ(dialog.shown.size(), 2u);
    EXPECT_EQ(dialog.shown[1].settings.initDir, "/in");
}

// ---- Failing settings writes --------------------------------------------------------------

class FailingStore : public WindowFixture
{
protected:
    void expectOneWriteFailureShown()
    {
        ASSERT_EQ(messages.shown.size(), 1u);
        const Message& shown = messages.shown[0];
        EXPECT_EQ(shown.text.rfind("Fehler: 75 - ", 0), 0u) << shown.text;
        EXPECT_EQ(shown.caption, "Klangdorn_d");
        EXPECT_EQ(shown.buttons, MessageButtons::Ok);
        EXPECT_EQ(shown.icon, MessageIcon::None);
        messages.shown.clear();
    }
};

TEST_F(FailingStore, LoadStepReportsTheWriteAndFinishes)
{
    makeStoreUnwritable();
    start();
    expectOneWriteFailureShown(); // "1" under Upsampling
    EXPECT_TRUE(control<QCheckBox>("chkResample")->isChecked());
    EXPECT_TRUE(control<QAction>("mnuSetToTop")->isChecked());
    EXPECT_EQ(stacking.calls, std::vector<bool>{true});
}

TEST_F(FailingStore, EachReactionReportsTheWriteAndTheWindowCarriesOn)
{
    start();
    makeStoreUnwritable();
    control<QCheckBox>("chkWriteLog")->setChecked(true);
    expectOneWriteFailureShown();
    EXPECT_TRUE(control<QCheckBox>("chkWriteLog")->isChecked());

    control<QAction>("mnuSetToTop")->trigger();
    expectOneWriteFailureShown();
    EXPECT_EQ(stacking.calls, (std::vector<bool>{true, false}));

    control<QLineEdit>("txtOutputFile")->setText("/old/target.ac3");
    dialog.choose("/in/a.wav");
    control<QPushButton>("cmdInput")->click();
    expectOneWriteFailureShown();
    EXPECT_EQ(control<QLineEdit>("txtInputFile")->text(), "/in/a.wav");
    EXPECT_EQ(control<QLineEdit>("txtOutputFile")->text(), "/old/target.ac3");

    dialog.choose("/opt/besweet");
    control<QAction>("mnuAllocToolame")->trigger();
    expectOneWriteFailureShown();

    window->show();
    EXPECT_TRUE(window->close());
    expectOneWriteFailureShown();
    EXPECT_FALSE(window->isVisible());
}

} // namespace
