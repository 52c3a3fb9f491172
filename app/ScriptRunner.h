#pragma once

#include "station/TraceWriter.h"
#include "ui/MessageBox.h"

#include <cstdint>
#include <deque>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QObject>
#include <QTimer>

class QWidget;

namespace kelvora {

class TForm1;

/// The station window driven by a station script, unattended. Each line acts on the real widgets of the
/// active window (the topmost modal one, else the main window), found by their object names:
///   T chunk HEX · T set NAME TEXT · T select NAME STD UPPER LOWER · T choose NAME ITEM · T click NAME
///   (also OpenPort, ClosePort, and NAVIGATOR.HINT: a record navigator's button by its hint) · T key NAME CHAR ·
///   T focus NAME · T cell GRID ROW TITLE TEXT (row from 0, a check box "1" or "0") · T answer BUTTON ·
///   T close · T dump NAME (a grid: its rows as shown; a status bar: its panels)
/// Message boxes, the error box, the colour dialog and the beep are traced and answered at once. With the
/// window's virtual clock, lines run at their T and timers and pauses on that clock, as in the replay;
/// otherwise each line runs T real milliseconds after the window was shown. With KELVORA_MONOTONIC_TRACE set
/// in the environment, the trace has a "clock" line (monotonic_ns: where its t 0 lies on CLOCK_MONOTONIC).
class ScriptRunner : public QObject {
    Q_OBJECT
public:
    /// Reads script; the trace goes to out (nullptr: no trace). Installs the answerers at once, so that
    /// boxes shown while the window is created are answered and traced too.
    ScriptRunner(std::istream& script, std::ostream* out);
    ~ScriptRunner() override;

    /// The trace the window writes into; nullptr without one.
    TraceWriter* trace() { return m_trace.get(); }

    /// The window the script drives; call before it is shown.
    void attach(TForm1& form);
    /// Begins with the first line once the event loop runs.
    void start();
    /// The exit status: 2 after a bad line, else the event loop's.
    int status(int loopStatus) const { return m_failed ? 2 : loopStatus; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Line {
        int number = 0;
        std::int64_t time = 0;
        std::string verb;
        std::string rest;
        std::string text; ///< the whole line
    };
    std::optional<Line> nextLine();
    void runVirtual();
    void scheduleNext();
    void finishReal();
    /// Applies one line; false when the script is to end (a bad line, or the main window closed).
    bool apply(const Line& line);
    void applyLine(const Line& line);
    void fail(const Line& line, const std::string& message);
    QWidget* activeWindow() const;
    /// The visible windows of their own beside the main window that are not modal (the statistics).
    std::vector<QWidget*> windowsBeside() const;
    QWidget* control(const std::string& name) const;
    QWidget* requireControl(const std::string& verb, const std::string& name) const;
    // One verb each; rest is the line after the verb.
    void chunk(const Line& line, std::string& rest);
    void select(const Line& line, std::string& rest);
    void set(const Line& line, std::string& rest);
    void choose(const Line& line, std::string& rest);
    void click(const Line& line, std::string& rest);
    void cell(const Line& line, std::string& rest);
    void key(const Line& line, std::string& rest);
    void focus(const Line& line, std::string& rest);
    void queueAnswer(const Line& line, std::string& rest);
    void close(const Line& line, std::string& rest);
    void dumpLine(const Line& line, std::string& rest);
    void dump(const std::string& name);
    /// Before a close: the window as it is, into the PNG file that KELVORA_SCREENSHOT names (if set).
    void saveScreenshot();
    MessageBox::Button answer(const MessageBox::Request& request);

    std::istream& m_script;
    std::ostream m_discard{nullptr};
    std::unique_ptr<TraceWriter> m_trace;
    TForm1* m_form = nullptr;
    int m_lineNumber = 0;
    std::int64_t m_lastTime = 0;
    std::deque<MessageBox::Button> m_answers;
    std::optional<Line> m_pending;
    QTimer m_lineTimer;
    bool m_failed = false;
    bool m_closed = false;
};

} // namespace kelvora
