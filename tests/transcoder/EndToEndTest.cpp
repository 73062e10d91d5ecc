// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program on a fresh machine: the window, the bundled besweet beside it used without
// a question, a generated recording, and a DVD track that really decodes.
#include "support/AudioFiles.h"
#include "support/Decoded.h"
#include "ui/WindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace klangdorn;
using namespace klangdorn::test;
using besweet::test::decodeFile;
using besweet::test::ScratchFolder;
using besweet::test::Tone;

namespace
{

class EndToEnd : public WindowFixture
{
protected:
    ScratchFolder folder;
    const std::string besweet = BESWEET_PATH;

    void SetUp() override { start(); }
    void click(const char* button) { control<QPushButton>(button)->click(); }
    void type(const char* field, const std::filesystem::path& path)
    {
        control<QLineEdit>(field)->setText(QString::fromStdString(path.string()));
    }
};

} // namespace

TEST_F(EndToEnd, FirstRunUsesTheBundledTranscoderAndWritesALayerIITrackAt48kHz)
{
    const auto source = folder / "Konzert live.wav";
    besweet::test::writeWav(source, Tone{.rate = 44100, .channels = 2, .seconds = 2.0});
    dialog.choose(source.string());
    click("cmdInput");
    dialog.choose((folder / "Konzert live.mpa").string());
    click("cmdOutput");
    control<QComboBox>("cmbOutputBitrate")->setCurrentIndex(1);     // 224 kbps
    control<QComboBox>("cmbOutputChannelmode")->setCurrentIndex(1); // Joint Stereo
    control<QCheckBox>("chkWriteLog")->setChecked(true);

    // The build puts besweet beside every program, as the install does.
    click("cmdTranscode");

    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    EXPECT_EQ(stored(SettingKey::Besweet), std::nullopt) << "the bundled one is not stored";
    const auto track = decodeFile(folder / "Konzert live.mpa");
    EXPECT_EQ(track.codec, "mp2");
    EXPECT_EQ(track.rate, 48000);
    EXPECT_EQ(track.bitRate, 224000);
    EXPECT_NEAR(track.seconds(), 2.0, 1152.0 / 48000);
    // A joint stereo track of a plain tone is mostly plain stereo frames: the mode asked shows
    // in the log.
    EXPECT_NE(besweet::test::readBytes(folder / "Konzert live.mpa.log").find("mode joint_stereo"),
              std::string::npos);
    EXPECT_TRUE(control<QPushButton>("cmdTranscode")->isEnabled());
}

TEST_F(EndToEnd, RawPcmSourceBecomesAnAc3TrackAndAFailedRunIsReported)
{
    store(SettingKey::Besweet, besweet);
    const auto source = folder / "take 1.pcm";
    besweet::test::writeRawPcm(source, Tone{.rate = 32000, .channels = 2, .seconds = 1.5});
    type("txtInputFile", source);
    type("txtOutputFile", folder / "take1.ac3");
    control<QCheckBox>("chkInputRAWPCM")->setChecked(true);
    control<QComboBox>("cmbInputSamplerate")->setCurrentIndex(0); // 32 kHz
    control<QComboBox>("cmbOutputBitrate")->setCurrentIndex(2);   // 256 kbps

    click("cmdTranscode");
    EXPECT_TRUE(messages.shown.empty()) << messages.shown.front().text;
    const auto track = decodeFile(folder / "take1.ac3");
    EXPECT_EQ(track.codec, "ac3");
    EXPECT_EQ(track.rate, 48000);
    EXPECT_EQ(track.bitRate, 256000);
    EXPECT_EQ(track.channels, 2);

    // A source that is not audio: the transcoder fails and the user is told.
    besweet::test::writeBytes(folder / "kaputt.wav", "RIFF? keine Audiodaten");
    type("txtInputFile", folder / "kaputt.wav");
    type("txtOutputFile", folder / "kaputt.ac3");
    control<QCheckBox>("chkInputRAWPCM")->setChecked(false);
    click("cmdTranscode");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text,
              "BeSweet wurde mit Fehlercode 1 beendet.\r\nFür die ganze Ausgabe „BeSweet zeigen“ "
              "ankreuzen und erneut starten.");
    EXPECT_FALSE(std::filesystem::exists(folder / "kaputt.ac3"));
}
