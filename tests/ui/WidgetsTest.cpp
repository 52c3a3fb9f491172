#include "ui/ClockPane.h"
#include "ui/KeyStatusPane.h"
#include "ui/LampShape.h"
#include "ui/MarqueePane.h"
#include "ui/MessageBox.h"
#include "ui/ToolButton.h"

#include <QApplication>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

TEST(WidgetsTest, AToolButtonShowsAGreyedGlyphWhileDisabled) {
    ToolButton button;
    button.setGlyph(u":/glyphs/glyphs/start.png"_s);
    const QImage normal = button.icon().pixmap(16, 16, QIcon::Normal).toImage();
    const QImage disabled = button.icon().pixmap(16, 16, QIcon::Disabled).toImage();
    ASSERT_FALSE(normal.isNull());
    EXPECT_NE(normal, disabled);
    bool grey = true;
    for (int y = 0; y < disabled.height(); ++y) {
        for (int x = 0; x < disabled.width(); ++x) {
            const QRgb pixel = disabled.pixel(x, y);
            grey = grey && (qAlpha(pixel) == 0 || (qRed(pixel) == qGreen(pixel) && qGreen(pixel) == qBlue(pixel)));
        }
    }
    EXPECT_TRUE(grey);
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
}

TEST(WidgetsTest, TheKeyPanesFollowCapsLockAndTheInsertKey) {
    QLineEdit edit;
    edit.show();
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
    KeyStatusPane caps;
    KeyStatusPane insert;
    insert.setKey(KeyStatusPane::Key::Insert);
    EXPECT_EQ(caps.text(), QString());
    EXPECT_EQ(insert.text(), u"Insert"_s);
    QTest::keyClick(&edit, Qt::Key_CapsLock);
    EXPECT_EQ(caps.text(), u"CAPS"_s);
    QTest::keyClick(&edit, Qt::Key_Insert);
    EXPECT_EQ(insert.text(), u"Overwrite"_s);
    // A lower-case letter without Shift shows the lock is off, whatever was seen before.
    QTest::keyClick(&edit, Qt::Key_A, Qt::NoModifier);
    EXPECT_EQ(caps.text(), QString());
    QTest::keyClick(&edit, Qt::Key_Insert);
    EXPECT_EQ(insert.text(), u"Insert"_s);
}

TEST(WidgetsTest, TheClockShowsTheSystemsShortDateAndLongTime) {
    const QDateTime moment(QDate(2024, 7, 15), QTime(8, 5, 9));
    const QString text = ClockPane::clockText(moment);
    EXPECT_TRUE(text.startsWith(QLocale::system().toString(moment.date(), QLocale::ShortFormat))) << text.toStdString();
    EXPECT_TRUE(text.contains(QLocale::system().toString(moment.time(), QLocale::LongFormat)));
    ClockPane pane;
    EXPECT_FALSE(pane.text().isEmpty());
}

TEST(WidgetsTest, TheMarqueeScrollsAndBlinks) {
    MarqueePane marquee;
    marquee.setText(u"Kelvora"_s);
    marquee.resize(200, 20);
    const int start = marquee.offset();
    bool blinked = false;
    for (int i = 0; i < 20 && !blinked; ++i) {
        QTest::qWait(50);
        blinked = !marquee.blinkOn();
    }
    EXPECT_NE(marquee.offset(), start);
    EXPECT_TRUE(blinked);
}

TEST(WidgetsTest, LampColoursAndBoxButtonsHaveTheTracesNames) {
    LampShape lamp;
    EXPECT_EQ(lamp.colorName(), u"lime"_s);
    lamp.setColor(QColor(255, 255, 0));
    EXPECT_EQ(lamp.colorName(), u"yellow"_s);
    EXPECT_EQ(MessageBox::buttonNames(QMessageBox::Ok | QMessageBox::Cancel), (QStringList{u"OK"_s, u"Cancel"_s}));
    EXPECT_EQ(MessageBox::buttonNames(QMessageBox::Yes | QMessageBox::No), (QStringList{u"Yes"_s, u"No"_s}));
    EXPECT_EQ(MessageBox::buttonNamed(u"cancel"_s), QMessageBox::Cancel);
    EXPECT_EQ(MessageBox::buttonNamed(u"Maybe"_s), QMessageBox::NoButton);
    EXPECT_EQ(MessageBox::iconName(QMessageBox::Information), u"information"_s);
    MessageBox::Request request;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    EXPECT_EQ(MessageBox::defaultAnswer(request), QMessageBox::Ok);
}

} // namespace
} // namespace kelvora::test
