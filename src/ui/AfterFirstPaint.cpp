// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/AfterFirstPaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <utility>

namespace klangdorn
{

namespace
{

// Watches the window's paints; owned by the window, it goes once the step is queued.
class FirstPaintWatch final : public QObject
{
public:
    FirstPaintWatch(QWidget& window, std::function<void()> step)
        : QObject(&window), m_step(std::move(step))
    {
        window.installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_step) {
            watched->removeEventFilter(this);
            // Queued: the paint is handed to the screen before the step runs.
            QTimer::singleShot(0, watched, std::exchange(m_step, {}));
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> m_step;
};

} // namespace

void RunAfterFirstPaint(QWidget& window, std::function<void()> step)
{
    new FirstPaintWatch(window, std::move(step)); // owned by the window
}

} // namespace klangdorn
