#include "tests/app/StationWindowFixture.h"
#include "ui/FontMapping.h"

#include <QFontInfo>
#include <QMouseEvent>
#include <QTest>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

using MainWindowTest = StationWindowTest;

TEST_F(MainWindowTest, StartsWithoutOptionIniGreyWithTheStatusTextAndStopDisabled) {
    makeDatabase();
    TForm1& form = open();
    EXPECT_EQ(form.windowTitle(), u"Kelvora"_s);
    EXPECT_TRUE(form.windowState().testFlag(Qt::WindowMaximized));
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(244, 244, 244));
    EXPECT_EQ(ui().Edit3->text(), u"共0个产品，此产品是第0个"_s);
    EXPECT_FALSE(ui().BtnSetTabs->isEnabled());
    EXPECT_TRUE(ui().BtnClear->isEnabled());
    EXPECT_EQ(ui().Edit1->text(), u"None"_s);
    EXPECT_EQ(ui().LabeledEdit1->text(), u"0"_s);
    // The model list is loaded and its text stays empty.
    EXPECT_EQ(ui().ComboBox1->count(), 5);
    EXPECT_EQ(ui().ComboBox1->itemText(2), u"大米-25kg"_s);
    EXPECT_TRUE(ui().ComboBox1->currentText().isEmpty());
    EXPECT_TRUE(takeTexts().empty());
}

TEST_F(MainWindowTest, ReadsItsSettingsAndShowsALoadFailureButStillOpens) {
    // No database: the connection fails at creation and the model list at showing; both are shown in
    // the standard error box, and the window is there with its settings.
    QFile ini(path(u"Option.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Word]\nNum=100\nSC_Num=5\n[\xe8\xbd\xaf\xe4\xbb\xb6]\n\xe8\x83\x8c\xe6\x99\xaf\xe8\x89\xb2=255\n");
    ini.close();
    TForm1& form = open();
    EXPECT_EQ(ui().Edit3->text(), u"共100个产品，此产品是第5个"_s);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(255, 0, 0));
    ASSERT_FALSE(m_boxes.boxes.empty());
    for (const MessageBox::Request& box : m_boxes.boxes) {
        EXPECT_TRUE(box.errorBox);
        EXPECT_EQ(box.title, u"Weight"_s);
    }
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainWindowTest, TheToolbarAndStatusBarCarryTheirCaptions) {
    makeDatabase();
    open();
    const std::pair<QAbstractButton*, QString> buttons[] = {
        {ui().BtnAttachFiles, u"用户"_s}, {ui().BtnClear, u"开始"_s},    {ui().BtnWordWrap, u"继续"_s},
        {ui().BtnSetTabs, u"结束"_s},     {ui().BtnSecurity, u"查询"_s}, {ui().BtnUtilities, u"设置"_s},
        {ui().BtnOK, u"初始化"_s},        {ui().BtnBullets, u"清零"_s},  {ui().BtnSendtoBack, u"帮助"_s},
        {ui().BtnExit, u"退出"_s}};
    for (const auto& [button, caption] : buttons) {
        EXPECT_EQ(button->text(), caption);
        EXPECT_FALSE(button->icon().isNull()) << caption.toStdString();
        EXPECT_EQ(button->cursor().shape(), Qt::PointingHandCursor);
    }
    EXPECT_EQ(ui().BtnSetTabs->toolTip(), u"快捷键F8"_s);
    EXPECT_EQ(ui().RzKeyStatus2->text(), u"Insert"_s);
    EXPECT_TRUE(ui().RzKeyStatus1->text().isEmpty());
    EXPECT_FALSE(ui().RzClockStatus1->text().isEmpty());
    EXPECT_TRUE(ui().RzFieldStatus3->text().isEmpty());
}

TEST_F(MainWindowTest, TabGoesThroughTheCatalogueAndBatchFieldsInOrder) {
    makeDatabase();
    TForm1& form = open();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    ui().ComboBox1->setFocus();
    const QWidget* expected[] = {ui().Et1, ui().Et2, ui().Et3, ui().LabeledEdit1, ui().LabeledEdit2};
    for (const QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(MainWindowTest, LayoutFamiliesAreDrawnWithAnInstalledChineseFont) {
    FontMapping::install();
    for (const QString& family : {u"新宋体"_s, u"宋体"_s, u"楷体_GB2312"_s, u"仿宋_GB2312"_s, u"华文中宋"_s}) {
        const QString used = FontMapping::familyFor(family);
        EXPECT_TRUE(used.contains(u"WenQuanYi"_s) || used.contains(u"CJK"_s)) << used.toStdString();
    }
}

TEST_F(MainWindowTest, DoubleClickOnTheBareSurfaceOnlyOpensTheColourDialog) {
    makeDatabase();
    TForm1& form = open();
    int dialogs = 0;
    ColorDialog::setAnswerer([&](const QColor&) -> std::optional<QColor> {
        ++dialogs;
        return QColor(0x10, 0x20, 0x30);
    });
    QTest::mouseDClick(ui().Label3, Qt::LeftButton);
    QTest::mouseDClick(ui().Shape1, Qt::LeftButton);
    EXPECT_EQ(dialogs, 0);
    EXPECT_FALSE(QFile::exists(path(u"Option.ini"_s)));
    // The bare surface: a point of the form that no control covers.
    QPoint bare;
    for (int y = 0; y < form.height() && bare.isNull(); y += 7) {
        for (int x = 0; x < form.width(); x += 7) {
            if (form.childAt(x, y) == nullptr) {
                bare = QPoint(x, y);
                break;
            }
        }
    }
    ASSERT_FALSE(bare.isNull());
    QTest::mouseDClick(&form, Qt::LeftButton, {}, bare);
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(form.palette().color(QPalette::Window), QColor(0x10, 0x20, 0x30));
    EXPECT_TRUE(readFile(u"Option.ini"_s).contains(u"=3153936"_s)); // 0x302010
    // Cancelled: the colour stays and is written all the same.
    QFile::remove(path(u"Option.ini"_s));
    ColorDialog::setAnswerer([](const QColor&) { return std::optional<QColor>(); });
    QTest::mouseDClick(&form, Qt::LeftButton, {}, bare);
    EXPECT_TRUE(readFile(u"Option.ini"_s).contains(u"=3153936"_s));
}

TEST_F(MainWindowTest, ExitAsksFirstAndCancelKeepsTheWindowAndTheCount) {
    makeDatabase();
    TForm1& form = open();
    m_boxes.answer(QMessageBox::Cancel);
    ui().BtnExit->click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const MessageBox::Request& box = m_boxes.boxes.front();
    EXPECT_EQ(box.title, u"提示！"_s);
    EXPECT_EQ(box.text, u"您确实要退出本系统吗？"_s);
    EXPECT_EQ(box.icon, QMessageBox::Information);
    EXPECT_EQ(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(QFile::exists(path(u"Option.ini"_s)));

    m_boxes.boxes.clear();
    form.close(); // the close box goes the same way; OK lets it close
    EXPECT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(readFile(u"Option.ini"_s).contains(u"SC_Num=0"_s));
}

TEST_F(MainWindowTest, AnUnwritableOptionIniKeepsTheWindowOpenAtClose) {
    makeDatabase();
    TForm1& form = open();
    ASSERT_TRUE(QDir().mkdir(path(u"Option.ini"_s))); // a folder where the file should be
    form.close();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_TRUE(m_boxes.boxes.back().errorBox);
    EXPECT_TRUE(m_boxes.boxes.back().text.startsWith(u"Unable to write to"_s));
}

TEST_F(MainWindowTest, StartWithoutAModelAndZeroBeforeAnyReading) {
    makeDatabase();
    open();
    ui().BtnClear->click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"提示"_s);
    EXPECT_EQ(m_boxes.boxes[0].text, u"请选择型号或选择合法型号！"_s);
    EXPECT_TRUE(ui().BtnClear->isEnabled());
    EXPECT_FALSE(ui().BtnSetTabs->isEnabled());
    m_boxes.boxes.clear();
    ui().BtnBullets->click();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_TRUE(m_boxes.boxes[0].errorBox);
    EXPECT_EQ(m_boxes.boxes[0].text, u"'None' is not a valid floating point value."_s);
}

TEST_F(MainWindowTest, HelpOpensThePdfOfTheStationFolderOrSaysItIsMissing) {
    makeDatabase();
    open();
    QList<QUrl> opened;
    TForm1::setHelpOpener([&](const QUrl& url) {
        opened << url;
        return true;
    });
    ui().BtnSendtoBack->click();
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(takeTexts(), std::vector<QString>{u"缺少帮助文件“帮助文件.pdf”！"_s});
    QFile pdf(path(u"帮助文件.pdf"_s));
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.close();
    ui().BtnSendtoBack->click();
    ASSERT_EQ(opened.size(), 1);
    EXPECT_EQ(opened[0].toLocalFile(), path(u"帮助文件.pdf"_s));
    EXPECT_TRUE(takeTexts().empty());
    // No program shows PDF files: the box says so and where the manual is.
    TForm1::setHelpOpener([](const QUrl&) { return false; });
    ui().BtnSendtoBack->click();
    const std::vector<QString> texts = takeTexts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(texts[0].contains(u"PDF 阅读器"_s)) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].endsWith(path(u"帮助文件.pdf"_s))) << texts[0].toStdString();
}

} // namespace
} // namespace kelvora::test
