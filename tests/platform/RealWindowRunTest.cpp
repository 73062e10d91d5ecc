// SPDX-License-Identifier: GPL-3.0-or-later
// The window with the real launcher and the real besweet: a run that warned says so in one box,
// and closing during a run stops it. (The bundled default: EndToEndTest.)
#include "ui/WindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <fstream>
#include <vector>

using namespace klangdorn;
using namespace klangdorn::test;

namespace
{

const std::string Besweet = BESWEET;

// A stereo 16-bit WAV of a quiet saw tone.
void writeWav(const std::string& path, int rate, int seconds)
{
    std::vector<std::int16_t> second(static_cast<std::size_t>(rate) * 2);
    for (std::size_t i = 0; i < second.size(); ++i)
        second[i] = static_cast<std::int16_t>((i / 2 % 200) * 40 - 4000);
    const auto dataBytes = static_cast<std::uint32_t>(second.size() * 2 * seconds);
    std::ofstream out(path, std::ios::binary);
    const auto put32 = [&](std::uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
    const auto put16 = [&](std::uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
    out.write("RIFF", 4);
    put32(36 + dataBytes);
    out.write("WAVEfmt ", 8);
    put32(16);
    put16(1);
    put16(2);
    put32(static_cast<std::uint32_t>(rate));
    put32(static_cast<std::uint32_t>(rate) * 4);
    put16(4);
    put16(16);
    out.write("data", 4);
    put32(dataBytes);
    for (int s = 0; s < seconds; ++s)
        out.write(reinterpret_cast<const char*>(second.data()),
                  static_cast<std::streamsize>(second.size() * 2));
}

std::string contentOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class RealWindowRun : public WindowFixture
{
protected:
    QTemporaryDir dir;

    std::string path(const char* name) const { return dir.filePath(name).toStdString(); }

    void startWith(const std::string& source, const std::string& target)
    {
        start();
        window->show();
        control<QLineEdit>("txtInputFile")->setText(QString::fromStdString(source));
        control<QLineEdit>("txtOutputFile")->setText(QString::fromStdString(target));
    }
    void clickTranscode()
    {
        QTest::mouseClick(control<QPushButton>("cmdTranscode"), Qt::LeftButton);
    }
};

TEST_F(RealWindowRun, ARunThatWarnedSaysSoOnceItHasEnded)
{
    store(SettingKey::Besweet, Besweet);
    writeWav(path("cd.wav"), 44100, 1);
    startWith(path("cd.wav"), path("cd.ac3"));
    control<QCheckBox>("chkResample")->setChecked(false);
    clickTranscode();

    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(messages.shown[0].caption, ApplicationTitle);
    // Told in the window's words, whatever the transcoder's language.
    EXPECT_TRUE(messages.shown[0].text.starts_with("Transcode beendet, mit Warnungen:\r\n"))
        << messages.shown[0].text;
    EXPECT_TRUE(messages.shown[0].text.ends_with("48000 Hz: „Resample auf 48 kHz“ ankreuzen)"))
        << messages.shown[0].text;
    EXPECT_GT(QFileInfo(dir.filePath("cd.ac3")).size(), 0);
}

// "Ja" stops besweet, which leaves the old target as it was; no failure follows.
TEST_F(RealWindowRun, ClosingDuringTheRunStopsTheTranscoderAndEndsTheProgram)
{
    store(SettingKey::Besweet, Besweet);
    writeWav(path("long.wav"), 48000, 180);
    std::ofstream(path("long.ac3")) << "alt";
    startWith(path("long.wav"), path("long.ac3"));
    QTimer::singleShot(0, window.get(), [&] {
        QTimer::singleShot(300, window.get(), [&] { window->close(); });
        clickTranscode();
    });
    QTimer::singleShot(60'000, window.get(), [] { QCoreApplication::exit(7); });

    EXPECT_EQ(QApplication::exec(), 0) << "the program ends after the stopped run";
    EXPECT_FALSE(window->isVisible());
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[0].caption, "Zieldatei existiert bereits");
    EXPECT_TRUE(messages.shown[1].text.starts_with("BeSweet transcodiert noch."));
    EXPECT_EQ(contentOf(path("long.ac3")), "alt");
    EXPECT_EQ(stored(SettingKey::Normalize), "95");
}

} // namespace
