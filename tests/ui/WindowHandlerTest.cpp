#include "ui/WindowHandler.h"

#include "comm/TComm.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/PtyTestSupport.h"

#include <chrono>
#include <stdexcept>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace kelvora;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// A window whose creation and showing fail, the way a window's FormCreate and FormShow can.
class FailingWindow : public QWidget {
public:
    FailingWindow() {
        runWindowHandler([] { throw std::runtime_error("create failed"); });
        m_created = true;
    }
    bool created() const { return m_created; }

protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        runWindowHandler([] { throw std::runtime_error("show failed"); });
    }

private:
    bool m_created = false;
};

void expectErrorBox(const MessageBox::Request& box, const QString& text) {
    EXPECT_EQ(box.title, u"Weight"_s);
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

} // namespace

TEST(WindowHandler, AClickThatThrowsShowsTheErrorBoxAndTheNextClickRuns) {
    test::MessageBoxRecorder boxes;
    QPushButton button(u"Go"_s);
    int clicks = 0;
    connectHandler(&button, &QPushButton::clicked, &button, [&](bool) {
        if (++clicks == 1) {
            throw std::runtime_error("'x' is not a valid integer value");
        }
    });
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    expectErrorBox(boxes.boxes[0], u"'x' is not a valid integer value."_s);
    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(WindowHandler, ATimerThatThrowsShowsTheBoxAndFiresAgain) {
    test::MessageBoxRecorder boxes;
    QTimer timer;
    timer.setInterval(1);
    int ticks = 0;
    connectHandler(&timer, &QTimer::timeout, &timer, [&] {
        if (++ticks == 2) {
            timer.stop();
        }
        throw 7; // not a std::exception
    });
    timer.start();
    ASSERT_TRUE(test::spinUntil([&] { return ticks == 2; }));
    ASSERT_EQ(boxes.boxes.size(), 2u);
    expectErrorBox(boxes.boxes[0], u"Unknown error."_s);
}

TEST(WindowHandler, ASerialEventThatThrowsShowsTheBoxAndTheNextChunkArrives) {
    test::MessageBoxRecorder boxes;
    test::PtyPair pty;
    TComm comm;
    test::configureLikeStation(comm, pty.path(), 40);
    comm.HandlerRunner = [](const std::function<void()>& handler) { runWindowHandler(handler); };
    std::vector<std::string> chunks;
    comm.OnReceiveData = [&](TComm*, const std::uint8_t* buffer, std::uint16_t length) {
        chunks.emplace_back(reinterpret_cast<const char*>(buffer), length);
        if (chunks.size() == 1) {
            throw std::runtime_error("bad frame");
        }
    };
    comm.OpenPort();
    pty.send("first");
    ASSERT_TRUE(test::spinUntil([&] { return chunks.size() == 1; }));
    test::spinFor(100ms);
    pty.send("second");
    ASSERT_TRUE(test::spinUntil([&] { return chunks.size() == 2; }));
    EXPECT_EQ(chunks[1], "second");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    expectErrorBox(boxes.boxes[0], u"bad frame."_s);
    comm.ClosePort();
}

TEST(WindowHandler, AWindowThatFailsWhileCreatedAndShownIsStillCreatedAndShown) {
    test::MessageBoxRecorder boxes;
    FailingWindow window;
    window.show();
    EXPECT_TRUE(window.created());
    EXPECT_TRUE(window.isVisible());
    ASSERT_EQ(boxes.boxes.size(), 2u);
    expectErrorBox(boxes.boxes[0], u"create failed."_s);
    expectErrorBox(boxes.boxes[1], u"show failed."_s);
}

TEST(MessageBox, TheNextAnswerIsUsedOnceThenTheAnswererDecides) {
    test::MessageBoxRecorder boxes;
    MessageBox::Request request;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    MessageBox::setNextAnswer(QMessageBox::Cancel);
    EXPECT_EQ(MessageBox::show(nullptr, request), QMessageBox::Cancel);
    EXPECT_TRUE(boxes.boxes.empty());
    EXPECT_EQ(MessageBox::show(nullptr, request), QMessageBox::Ok) << "no default given: the first button";
    request.defaultButton = QMessageBox::Cancel;
    EXPECT_EQ(MessageBox::show(nullptr, request), QMessageBox::Cancel);
    boxes.answer(QMessageBox::Ok);
    EXPECT_EQ(MessageBox::show(nullptr, request), QMessageBox::Ok);
    EXPECT_EQ(boxes.boxes.size(), 3u);
}
