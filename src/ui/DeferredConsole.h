// SPDX-License-Identifier: GPL-3.0-or-later
// The "BeSweet" console as the runs see it, made only when first needed: building the text
// view lays out its empty document, which loads a font, and the window's start has no use
// for it. What it is told before then (the stacking) is kept and applied when it is made.
#pragma once

#include "platform/ConsoleFramedLauncher.h"
#include "platform/ProcessOutputView.h"

#include <QPointer>

class QWidget;

namespace klangdorn
{

class ConsoleWindow;

class DeferredConsole final : public ProcessOutputView, public RunFrameView
{
public:
    // The console, once made, goes with `owner`.
    explicit DeferredConsole(QWidget& owner) : m_owner(owner) {}

    // The console window, made now if it is not yet.
    ConsoleWindow& window();
    bool isMade() const { return !m_window.isNull(); }

    void setStaysOnTop(bool onTop);

    void startOutput() override;
    void appendOutput(std::string_view bytes) override;
    void finishOutput() override;
    void clearForNewRun() override;
    void showRunEnd(const ProcessEnd& end) override;

private:
    QWidget& m_owner;
    QPointer<ConsoleWindow> m_window;
    bool m_onTop = false;
};

} // namespace klangdorn
