#include "app/ScriptRunner.h"

#include "app/Unit1.h"
#include "app/WidgetDump.h"
#include "station/StationScript.h"
#include "ui/ColorDialog.h"
#include "ui/DataGrid.h"
#include "ui/RecordNavigator.h"
#include "ui/SystemBeep.h"
#include "ui/WindowHandler.h"
#include "ui_Unit1.h"
#include "weighing/NumberText.h"

#include <charconv>
#include <chrono>
#include <iostream>
#include <limits>
#include <map>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

// Splits off the next blank-separated word; rest then starts right after the blank that ends it.
std::string nextWord(std::string& rest) {
    const std::size_t begin = rest.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        rest.clear();
        return {};
    }
    const std::size_t end = rest.find_first_of(" \t", begin);
    std::string word = rest.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    return word;
}

// A class name without its namespace, as the trace names windows.
QString className(const QObject* object) {
    const QString name = QString::fromLatin1(object->metaObject()->className());
    return name.mid(name.lastIndexOf(u':') + 1);
}

std::optional<Control> stationControl(const std::string& name) {
    for (Control control : {Control::Edit1, Control::Edit2, Control::Edit3, Control::Et1, Control::Et2, Control::Et3,
                            Control::ComboBox1, Control::LabeledEdit1, Control::LabeledEdit2}) {
        if (name == controlName(control)) {
            return control;
        }
    }
    return std::nullopt;
}

} // namespace

ScriptRunner::ScriptRunner(std::istream& script, std::ostream* out) : m_script(script) {
    m_trace = std::make_unique<TraceWriter>(out != nullptr ? *out : m_discard,
                                            [this] { return m_form != nullptr ? m_form->host().now() : 0; });
    if (out == nullptr) {
        m_trace.reset();
    }
    MessageBox::setAnswerer([this](const MessageBox::Request& request) { return answer(request); });
    SystemBeep::setHandler([this] {
        if (m_trace) {
            m_trace->line("beep");
        }
    });
    ColorDialog::setAnswerer([this](const QColor& initial) -> std::optional<QColor> {
        if (m_trace) {
            m_trace->line("window").add("name", "QColorDialog").add("shown", true);
        }
        const bool confirmed = m_answers.empty() || m_answers.front() != QMessageBox::Cancel;
        if (!m_answers.empty()) {
            m_answers.pop_front();
        }
        if (m_trace) {
            m_trace->line("window").add("name", "QColorDialog").add("shown", false);
        }
        return confirmed ? std::optional<QColor>(initial) : std::nullopt;
    });
    m_lineTimer.setSingleShot(true);
    m_lineTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_lineTimer, &QTimer::timeout, this, [this] {
        if (m_pending && apply(*m_pending)) {
            scheduleNext();
        }
    });
}

ScriptRunner::~ScriptRunner() {
    MessageBox::setAnswerer({});
    SystemBeep::setHandler({});
    ColorDialog::setAnswerer({});
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
    }
}

void ScriptRunner::attach(TForm1& form) {
    m_form = &form;
    qApp->installEventFilter(this);
}

void ScriptRunner::start() {
    m_form->host().startClock();
    if (m_trace && qEnvironmentVariableIsSet("KELVORA_MONOTONIC_TRACE")) {
        // Where "t" 0 lies on CLOCK_MONOTONIC (the host's clock reads it too), for a benchmark that joins
        // this trace with another process's times.
        const auto since = std::chrono::steady_clock::now().time_since_epoch();
        m_trace->line("clock").add("monotonic_ns", static_cast<std::int64_t>(std::chrono::nanoseconds(since).count()));
    }
    QTimer::singleShot(0, this, [this] {
        // Focus changes (and so the exit handlers of edits) need the window active.
        m_form->activateWindow();
        const QDeadlineTimer deadline(1000);
        while (QApplication::activeWindow() != m_form && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        if (m_form->host().virtualClock()) {
            runVirtual();
        } else {
            scheduleNext();
        }
    });
}

MessageBox::Button ScriptRunner::answer(const MessageBox::Request& request) {
    MessageBox::Button button = MessageBox::defaultAnswer(request);
    if (!m_answers.empty()) {
        button = m_answers.front();
        m_answers.pop_front();
    }
    if (m_trace) {
        TraceWriter::Line line = m_trace->line(request.errorBox ? "error" : "message");
        if (!request.errorBox) {
            line.add("title", request.title.toStdString());
        }
        line.add("text", request.text.toStdString())
            .add("icon", MessageBox::iconName(request.icon).toStdString())
            .addRaw("buttons", WidgetDump::jsonStrings(MessageBox::buttonNames(request.buttons)));
    }
    return button;
}

bool ScriptRunner::eventFilter(QObject* watched, QEvent* event) {
    const bool show = event->type() == QEvent::Show;
    if ((show || event->type() == QEvent::Hide) && watched->isWidgetType() && m_trace) {
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        // The main window's own showing is not traced: the trace then matches the replay's.
        if (widget->isWindow() && widget != m_form && type != Qt::Popup && type != Qt::ToolTip) {
            m_trace->line("window").add("name", className(widget).toStdString()).add("shown", show);
        }
    }
    return QObject::eventFilter(watched, event);
}

std::optional<ScriptRunner::Line> ScriptRunner::nextLine() {
    std::string text;
    while (std::getline(m_script, text)) {
        ++m_lineNumber;
        if (m_lineNumber == 1 && text.rfind("\xEF\xBB\xBF", 0) == 0) {
            text.erase(0, 3);
        }
        if (!text.empty() && text.back() == '\r') {
            text.pop_back();
        }
        const std::size_t first = text.find_first_not_of(" \t");
        if (first == std::string::npos || text[first] == '#') {
            continue;
        }
        Line line;
        line.number = m_lineNumber;
        line.text = text;
        line.rest = text;
        const std::string time = nextWord(line.rest);
        auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), line.time);
        if (error != std::errc() || end != time.data() + time.size() || line.time < 0 || line.time > kMaxScriptTime ||
            line.time < m_lastTime) {
            fail(line, "bad time '" + time + "'");
            return std::nullopt;
        }
        m_lastTime = line.time;
        line.verb = nextWord(line.rest);
        return line;
    }
    return std::nullopt;
}

void ScriptRunner::runVirtual() {
    WindowStationHost& host = m_form->host();
    while (std::optional<Line> line = nextLine()) {
        host.advanceTo(line->time);
        if (!apply(*line)) {
            return;
        }
    }
    if (!m_failed) {
        host.runDueTimers(std::numeric_limits<std::int64_t>::max());
    }
    QApplication::exit(0);
}

void ScriptRunner::scheduleNext() {
    m_pending = nextLine();
    if (!m_pending) {
        finishReal();
        return;
    }
    m_lineTimer.start(static_cast<int>(std::max<std::int64_t>(0, m_pending->time - m_form->host().now())));
}

void ScriptRunner::finishReal() {
    if (m_failed || m_closed) {
        return;
    }
    WindowStationHost& host = m_form->host();
    if (!host.timerEnabled(Timer::Timer1) && !host.timerEnabled(Timer::Timer2)) {
        QApplication::exit(0);
        return;
    }
    QTimer::singleShot(50, this, [this] { finishReal(); });
}

void ScriptRunner::fail(const Line& line, const std::string& message) {
    std::cout.flush();
    std::cerr << "kelvora: script line " << line.number << ": " << message << "\n";
    m_failed = true;
    QApplication::exit(2);
}

QWidget* ScriptRunner::activeWindow() const {
    QWidget* modal = QApplication::activeModalWidget();
    return modal != nullptr ? modal : m_form;
}

std::vector<QWidget*> ScriptRunner::windowsBeside() const {
    std::vector<QWidget*> windows;
    for (QWidget* other : QApplication::topLevelWidgets()) {
        if (other != m_form && other->isVisible() && !other->isModal()) {
            windows.push_back(other);
        }
    }
    return windows;
}

QWidget* ScriptRunner::control(const std::string& name) const {
    QWidget* window = activeWindow();
    const QString objectName = QString::fromStdString(name);
    if (QWidget* found = window->objectName() == objectName ? window : window->findChild<QWidget*>(objectName)) {
        return found;
    }
    // Beside the main window, a window of its own that is not modal (the statistics) is reached too.
    if (window == m_form) {
        for (QWidget* other : windowsBeside()) {
            if (QWidget* found = other->findChild<QWidget*>(objectName)) {
                return found;
            }
        }
    }
    return nullptr;
}

bool ScriptRunner::apply(const Line& line) {
    try {
        applyLine(line);
    } catch (const ScriptError& error) {
        fail(line, error.what());
    }
    m_closed = m_closed || !m_form->isVisible();
    if (m_closed && !m_failed) {
        QApplication::exit(0);
    }
    return !m_failed && !m_closed;
}

void ScriptRunner::applyLine(const Line& line) {
    using Verb = void (ScriptRunner::*)(const Line& line, std::string& rest);
    static const std::map<std::string, Verb> verbs{
        {"chunk", &ScriptRunner::chunk},   {"select", &ScriptRunner::select}, {"set", &ScriptRunner::set},
        {"choose", &ScriptRunner::choose}, {"click", &ScriptRunner::click},   {"cell", &ScriptRunner::cell},
        {"key", &ScriptRunner::key},       {"focus", &ScriptRunner::focus},   {"answer", &ScriptRunner::queueAnswer},
        {"close", &ScriptRunner::close},   {"dump", &ScriptRunner::dumpLine}};
    const auto found = verbs.find(line.verb);
    if (found == verbs.end()) {
        throw ScriptError("unknown verb '" + line.verb + "'");
    }
    std::string rest = line.rest;
    (this->*found->second)(line, rest);
}

QWidget* ScriptRunner::requireControl(const std::string& verb, const std::string& name) const {
    QWidget* widget = control(name);
    if (widget == nullptr) {
        throw ScriptError(verb + ": no control '" + name + "'");
    }
    return widget;
}

void ScriptRunner::chunk(const Line& line, std::string&) {
    const ScriptCommand command = StationScript::parseLine(line.text, line.number);
    // The line reaches the main window's port whichever window is active: modal loops deliver too.
    auto* comm = m_form->findChild<TComm*>(u"Comm1"_s);
    if (comm != nullptr && comm->OnReceiveData) {
        runWindowHandler([&] {
            comm->OnReceiveData(comm, reinterpret_cast<const std::uint8_t*>(command.bytes.data()),
                                static_cast<std::uint16_t>(command.bytes.size()));
        });
    }
}

void ScriptRunner::select(const Line& line, std::string&) {
    const ScriptCommand command = StationScript::parseLine(line.text, line.number);
    WindowStationHost& host = m_form->host();
    runWindowHandler([&] {
        host.setText(Control::ComboBox1, command.text);
        host.setText(Control::Et1, NumberText::formatWeight(command.standard));
        host.setText(Control::Et2, NumberText::formatWeight(command.upper));
        host.setText(Control::Et3, NumberText::formatWeight(command.lower));
        m_form->core().ModelSelected();
    });
}

void ScriptRunner::set(const Line&, std::string& rest) {
    const std::string name = nextWord(rest);
    QWidget* widget = requireControl("set", name);
    const QString text = QString::fromStdString(rest);
    if (activeWindow() == m_form && stationControl(name)) {
        m_form->host().setText(*stationControl(name), rest); // the main window's texts are traced
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* box = qobject_cast<QComboBox*>(widget); box != nullptr && box->isEditable()) {
        box->setEditText(text);
    } else if (auto* picker = qobject_cast<QDateTimeEdit*>(widget)) {
        if (picker->displayedSections() & QDateTimeEdit::DateSections_Mask) {
            const QDate date = QDate::fromString(text, u"yyyy-MM-dd"_s);
            if (!date.isValid()) {
                throw ScriptError("set " + name + ": '" + rest + "' is no YYYY-MM-DD");
            }
            picker->setDate(date);
        } else {
            const QTime time = QTime::fromString(text, u"HH:mm:ss"_s);
            if (!time.isValid()) {
                throw ScriptError("set " + name + ": '" + rest + "' is no HH:MM:SS");
            }
            picker->setTime(time);
        }
    } else {
        throw ScriptError("set: '" + name + "' is no edit");
    }
}

void ScriptRunner::choose(const Line&, std::string& rest) {
    const std::string name = nextWord(rest);
    auto* box = qobject_cast<QComboBox*>(requireControl("choose", name));
    if (box == nullptr) {
        throw ScriptError("choose: '" + name + "' is no combo box");
    }
    const int item = box->findText(QString::fromStdString(rest), Qt::MatchExactly);
    if (item < 0) {
        throw ScriptError("choose: '" + rest + "' is not in " + name + "'s list");
    }
    box->setCurrentIndex(item);
    emit box->activated(item);
}

void ScriptRunner::click(const Line&, std::string& rest) {
    const std::string name = nextWord(rest);
    if (name == "OpenPort" || name == "ClosePort") {
        WindowStationHost& host = m_form->host();
        runWindowHandler([&] { name == "OpenPort" ? host.openPort() : host.closePort(); });
        return;
    }
    // NAVIGATOR.HINT presses the record navigator's button with that hint.
    const std::size_t dot = name.find('.');
    QAbstractButton* button = nullptr;
    if (auto* navigator = qobject_cast<RecordNavigator*>(control(name.substr(0, dot)));
        navigator != nullptr && dot != std::string::npos) {
        button = navigator->button(QString::fromStdString(name.substr(dot + 1)));
    } else {
        button = qobject_cast<QAbstractButton*>(requireControl("click", name));
    }
    if (button == nullptr) {
        throw ScriptError("click: '" + name + "' is no button");
    }
    if (button->isVisibleTo(button->window()) && button->isEnabled()) {
        // A mouse click takes the focus first where the button takes it by clicking, so the edit left
        // runs its exit handler before the click.
        if (button->focusPolicy() & Qt::ClickFocus) {
            button->setFocus(Qt::MouseFocusReason);
        }
        button->click();
    }
}

void ScriptRunner::cell(const Line&, std::string& rest) {
    const std::string name = nextWord(rest);
    const std::string row = nextWord(rest);
    const std::string column = nextWord(rest);
    auto* grid = qobject_cast<DataGrid*>(requireControl("cell", name));
    int index = -1;
    const auto [end, error] = std::from_chars(row.data(), row.data() + row.size(), index);
    if (grid == nullptr || error != std::errc() || end != row.data() + row.size() ||
        !grid->hasCell(index, QString::fromStdString(column))) {
        throw ScriptError("cell: " + name + " has no cell " + row + " " + column);
    }
    grid->setCellText(index, QString::fromStdString(column), QString::fromStdString(rest));
}

void ScriptRunner::key(const Line&, std::string& rest) {
    const std::string name = nextWord(rest);
    QWidget* widget = requireControl("key", name);
    const QString character = QString::fromStdString(rest);
    if (character.isEmpty()) {
        throw ScriptError("key needs a character");
    }
    QWidget* target = widget->focusProxy() != nullptr ? widget->focusProxy() : widget;
    if (auto* box = qobject_cast<QComboBox*>(widget); box != nullptr && box->lineEdit() != nullptr) {
        target = box->lineEdit();
    }
    const int code = character == u"\b"_s ? int(Qt::Key_Backspace) : int(Qt::Key_unknown);
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, character);
    QKeyEvent release(QEvent::KeyRelease, code, Qt::NoModifier, character);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
}

void ScriptRunner::focus(const Line&, std::string& rest) {
    requireControl("focus", nextWord(rest))->setFocus(Qt::TabFocusReason);
}

void ScriptRunner::queueAnswer(const Line&, std::string& rest) {
    const std::string name = nextWord(rest);
    const MessageBox::Button button = MessageBox::buttonNamed(QString::fromStdString(name));
    if (button == QMessageBox::NoButton) {
        throw ScriptError("answer: unknown button '" + name + "'");
    }
    m_answers.push_back(button);
}

void ScriptRunner::close(const Line&, std::string&) {
    saveScreenshot();
    activeWindow()->close();
}

void ScriptRunner::dumpLine(const Line&, std::string& rest) {
    dump(nextWord(rest));
}

void ScriptRunner::saveScreenshot() {
    const QString file = qEnvironmentVariable("KELVORA_SCREENSHOT");
    if (file.isEmpty()) {
        return;
    }
    // The main window as named; a window open beside it (the statistics) as NAME-CLASS.png.
    std::vector<std::pair<QWidget*, QString>> shots{{m_form, file}};
    const QFileInfo info(file);
    for (QWidget* other : windowsBeside()) {
        shots.emplace_back(other, info.dir().filePath(info.completeBaseName() + u'-' + className(other) + u".png"_s));
    }
    for (const auto& [window, path] : shots) {
        if (!window->grab().save(path)) {
            std::cerr << "kelvora: cannot save the screenshot " << path.toStdString() << "\n";
        }
    }
}

void ScriptRunner::dump(const std::string& name) {
    QWidget* widget = requireControl("dump", name);
    if (m_trace) {
        TraceWriter::Line line = m_trace->line("dump");
        line.add("name", name);
        WidgetDump::write(line, *widget, *widget->window());
    }
}

} // namespace kelvora
