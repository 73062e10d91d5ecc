// The "BeSweet" console: a read-only monospace window that shows the transcoder's standard
// output and error live while it runs. A carriage return without a line feed starts the
// line over, as a terminal does, so progress lines rewrite themselves.
#pragma once

#include "platform/ProcessOutputView.h"

#include <QPlainTextEdit>
#include <QStringDecoder>

namespace klangdorn
{

class ConsoleWindow : public QPlainTextEdit, public ProcessOutputView
{
    Q_OBJECT
public:
    // A window of its own; with a parent it goes with the parent. It never keeps the
    // program alive on its own.
    explicit ConsoleWindow(QWidget* parent = nullptr);

    void startOutput() override;
    void appendOutput(std::string_view bytes) override;
    void finishOutput() override;

private:
    void appendText(const QString& text);
    void insertAtEnd(const QString& text);
    void clearLastLine();
    void placeBelowTheMainWindowOnce();

    QStringDecoder m_decoder{QStringDecoder::Utf8};
    bool m_carriageReturnPending = false;
    bool m_placed = false;
};

} // namespace klangdorn
