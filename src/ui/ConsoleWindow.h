// SPDX-License-Identifier: GPL-3.0-or-later
// The "BeSweet" console: a read-only monospace window that shows the transcoder's standard
// output and error live while it runs. A carriage return without a line feed starts the
// line over, as a terminal does, so progress lines rewrite themselves. Every run starts it
// empty and its last line says how the run ended, followed by the transcoder's summary of what
// it delivered, when it printed one (moved there from the output, so it is said once). Output is
// taken at a constant cost per byte and shown a few times a second, its last
// ConsoleLines::MostLines lines, each cut to its last ConsoleLines::LongestLine characters; so a
// flood of output never holds up its reading.
#pragma once

#include "job/ProcessControl.h"
#include "job/RunProgress.h"
#include "platform/ConsoleFramedLauncher.h"
#include "platform/ProcessOutputView.h"
#include "ui/ConsoleLines.h"

#include <QPlainTextEdit>
#include <QRect>
#include <QStringDecoder>
#include <QTimer>

namespace klangdorn
{

class ConsoleWindow : public QPlainTextEdit, public ProcessOutputView, public RunFrameView
{
    Q_OBJECT
public:
    // A window of its own; with a parent it goes with the parent. It never keeps the
    // program alive on its own.
    explicit ConsoleWindow(QWidget* parent = nullptr);

    void startOutput() override;
    void appendOutput(std::string_view bytes) override;
    void finishOutput() override;

    void clearForNewRun() override;
    void showRunEnd(const ProcessEnd& end) override;
    // Kept above other windows as the main window is, now and whenever it is shown.
    void setStaysOnTop(bool onTop);
    // Shows at once what has come and not been shown yet.
    void showPendingOutput();
    // The characters taken and not shown yet: bounded however much comes.
    qsizetype pendingCharacters() const { return m_pending.keptCharacters(); }

private:
    void appendText(const QString& text);
    void insertAtEnd(const QString& text);
    void replaceLastLine(const QString& text);
    void removeLastLineReading(const QString& text);
    void placeBesideTheMainWindowOnce();
    void keepFrameOnScreen();
    void applyStacking();

    QStringDecoder m_decoder{QStringDecoder::Utf8};
    RunProgress m_lines; // finds the summary line
    ConsoleLines m_pending;
    QTimer m_showTimer;
    bool m_placed = false;
    bool m_onTop = false;
};

// The line that ends a run's output: "BeSweet beendet mit Exit-Code 2." and the like.
QString runEndLine(const ProcessEnd& end);

// Where the console opens, as a frame rectangle: beside the main window's frame (below,
// right, left, above, the first side with room for at least `minimum`), as large as the
// room allows up to `wanted`. Without such room, below the main window's title bar
// (`mainClientTop`), so that bar stays free to grab.
QRect consolePlacement(const QRect& mainFrame, int mainClientTop, const QRect& screen,
                       const QSize& wanted, const QSize& minimum);

} // namespace klangdorn
