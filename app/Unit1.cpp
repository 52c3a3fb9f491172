#include "app/Unit1.h"

#include "app/DatabaseStatusView.h"
#include "app/config/StationConfig.h"
#include "data/AuditTrail.h"
#include "data/ChainVerifier.h"
#include "data/ConnectionTarget.h"
#include "data/DatabaseBackup.h"
#include "data/DatabaseSetup.h"
#include "data/window/AuditWindow.h"
#include "data/window/Unit3.h"
#include "ui/ColorDialog.h"
#include "ui/MessageBox.h"
#include "ui/SystemBeep.h"
#include "ui/WindowHandler.h"
#include "ui_Unit1.h"
#include "users/ChangePassword.h"
#include "users/IdleWatch.h"
#include "users/Login.h"
#include "users/SetPara.h"
#include "users/SettingsAudit.h"
#include "users/Unit2.h"
#include "weighing/NumberText.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

TForm1::HelpOpener g_helpOpener;

const QString kHelpFile = u"帮助文件.pdf"_s;
// How long the close waits for the database to take the last rows; the rest wait in the journal.
constexpr int kCloseWaitMs = 3000;

QColor fromColorValue(std::uint32_t value) {
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

std::uint32_t toColorValue(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) | (static_cast<std::uint32_t>(color.green()) << 8) |
           (static_cast<std::uint32_t>(color.blue()) << 16);
}

QString weightText(double value) {
    return QString::fromStdString(NumberText::formatWeight(value));
}

} // namespace

TForm1::TForm1(const Options& options, QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TForm1>()), m_host(*this), m_runtime(m_host), m_options(options) {
    m_host.setVirtualClock(options.virtualClock);
    m_host.setVirtualPort(options.virtualPort);
    m_host.setTrace(options.trace);
    Comm1.setObjectName(u"Comm1"_s);
    runWindowHandler([this] {
        m_ui->setupUi(this);
        QFont font(u"新宋体"_s);
        font.setPixelSize(16);
        font.setBold(true);
        setFont(font);
        setWindowIcon(QIcon(u":/glyphs/glyphs/kelvora-64.png"_s));
        setWindowState(Qt::WindowMaximized);
        setAutoFillBackground(true);
        connectHandlers();
    });
    // Opening the database and loading the settings are steps of their own: either may fail and the
    // window is still created. A station without its database (missing, damaged, unreachable, without
    // the station's tables) grants nothing: the buttons governed by rights are hidden, no login succeeds
    // and the error box says what is missing.
    runWindowHandler([this] {
        try {
            AuditTrail::unconfigure(); // a station without its database keeps no trail
            const std::optional<std::string> configured = StationConfig::databaseConnection(iniPath().toStdString());
            setMainDatabase(mainConnectionString(
                configured ? std::optional<QString>(QString::fromStdString(*configured)) : std::nullopt));
            ADO1.Open();
            const QStringList tables = ADO1.database().tables();
            for (const schema::Table& table : schema::tables())
                if (!tables.contains(table.name, Qt::CaseInsensitive))
                    throw DatabaseError(u"The database has no table '%1'."_s.arg(table.name));
            m_host.startRecording();
            m_databaseStatus =
                std::make_unique<DatabaseStatusView>(m_runtime, *m_ui->DatabaseStatus, *m_ui->RzMarqueeStatus1,
                                                     [this] { return !m_ui->SilenceStatus->text().isEmpty(); });
            TLoginfrm::allowLogins();
            TLoginfrm::setAccounts(StationConfig::loadAccounts(iniPath().toStdString()));
            for (const QString& name : {u"BtnSwitchUser"_s, u"BtnChangePassword"_s})
                findChild<QWidget*>(name)->setVisible(TLoginfrm::accounts().enabled);
            const auto station = StationConfig::stationName(iniPath().toStdString());
            AuditTrail::configure(mainDatabase(), station ? QString::fromStdString(*station) : QString());
        } catch (const std::exception& error) {
            for (const QString& right : TLoginfrm::rightColumns())
                setRightVisible(right, false);
            throw DatabaseError(TLoginfrm::refuseLogins(ADO1, QString::fromStdString(error.what())));
        }
    });
    // The guards of the users and the trail in a database made before them, and Option.ini edited while the
    // program was not running; a trail that cannot be written is said, the station still starts.
    runWindowHandler([this] {
        if (AuditTrail* trail = AuditTrail::configured()) {
            database_setup::ensureGuards(ADO1);
            SettingsAudit::recordOutsideChanges(iniPath().toStdString(), *trail);
        }
    });
    runWindowHandler([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::setHelpOpener(HelpOpener opener) {
    g_helpOpener = std::move(opener);
}

QString TForm1::iniPath() const {
    return QDir::current().absoluteFilePath(u"Option.ini"_s);
}

void TForm1::connectHandlers() {
    Ui::TForm1& ui = *m_ui;
    Comm1.HandlerRunner = [](const std::function<void()>& handler) { runWindowHandler(handler); };
    Comm1.OnReceiveData = [this](TComm*, const std::uint8_t* buffer, std::uint16_t length) {
        m_core.Comm1ReceiveData(buffer, length);
    };
    Comm1.OnRequestHangup = [this](TComm*) { Comm1RequestHangup(); };
    connectHandler(ui.BtnExit, &QToolButton::clicked, this, [this] { BtnExitClick(); });
    connectHandler(ui.BtnSendtoBack, &QToolButton::clicked, this, [this] { BtnSendtoBackClick(); });
    connectHandler(ui.BtnClear, &QToolButton::clicked, this, [this] { BtnClearClick(m_ui->BtnClear); });
    connectHandler(ui.BtnWordWrap, &QToolButton::clicked, this, [this] { BtnClearClick(m_ui->BtnWordWrap); });
    connectHandler(ui.BtnSetTabs, &QToolButton::clicked, this, [this] { BtnSetTabsClick(); });
    connectHandler(ui.BtnBullets, &QToolButton::clicked, this, [this] { BtnBulletsClick(); });
    connectHandler(ui.BtnOK, &QToolButton::clicked, this, [this] { BtnOKClick(); });
    connectHandler(ui.BtnSecurity, &QToolButton::clicked, this, [this] { BtnSecurityClick(); });
    connectHandler(ui.BtnStatistics, &QToolButton::clicked, this, [this] { BtnStatisticsClick(); });
    m_statistics.addCheckButton(ui.BtnStatistics);
    addAccountButtons();
    connectHandler(ui.BtnAttachFiles, &QToolButton::clicked, this, [this] { BtnAttachFilesClick(); });
    connectHandler(ui.BtnUtilities, &QToolButton::clicked, this, [this] { BtnUtilitiesClick(); });
    connectHandler(ui.ComboBox1, &QComboBox::activated, this, [this] { ComboBox1Click(); });
    connectHandler(ui.BitBtn2, &QPushButton::clicked, this, [this] { BitBtn2Click(); });
    connectHandler(ui.BitBtn3, &QPushButton::clicked, this, [this] { BitBtn3Click(); });
    connectHandler(ui.BitBtn4, &QPushButton::clicked, this, [this] { BitBtn4Click(); });
    for (QLineEdit* edit : {ui.Et1, ui.Et2, ui.Et3, ui.LabeledEdit1, ui.LabeledEdit2}) {
        edit->installEventFilter(this);
    }
    for (QLineEdit* edit : {ui.LabeledEdit1, ui.LabeledEdit2})
        connectHandler(edit, &QLineEdit::editingFinished, this,
                       [this] { m_runAudit.batchValues(m_ui->LabeledEdit1->text(), m_ui->LabeledEdit2->text()); });
    ui.ComboBox1->setCompleter(nullptr);
    // An editable Qt combo box also "activates" an item when the typed text matches one and the focus
    // leaves or Enter is pressed; the model is chosen only from the list.
    QObject::disconnect(ui.ComboBox1->lineEdit(), &QLineEdit::editingFinished, ui.ComboBox1, nullptr);
    QObject::disconnect(ui.ComboBox1->lineEdit(), &QLineEdit::returnPressed, ui.ComboBox1, nullptr);
}

void TForm1::FormCreate() {
    const StationSettings& settings = m_runtime.load(iniPath().toStdString());
    applyColor(settings.windowColor);
    m_loadedPort = settings.commName;
    m_runAudit.setBatchValues(m_ui->LabeledEdit1->text(), m_ui->LabeledEdit2->text());
    if (const std::optional<std::string> lot = StationConfig::loadLot(iniPath().toStdString())) {
        createLotField(QString::fromStdString(*lot));
        m_runtime.setLot(*lot);
    }
    m_runtime.configurePort(Comm1, m_options.portName.isEmpty() ? settings.commName : m_options.portName.toStdString());
}

void TForm1::applyColor(std::uint32_t color) {
    m_color = color;
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, fromColorValue(color));
    setPalette(palette);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        runWindowHandler([this] { FormShow(); });
    }
}

void TForm1::FormShow() {
    QComboBox* box = m_ui->ComboBox1;
    const QString text = box->currentText();
    ADOQuery1.Close();
    ADOQuery1.SQL.Clear();
    ADOQuery1.SQL.Add(u"Select  *  From  XH"_s);
    ADOQuery1.Open();
    for (ADOQuery1.First(); !ADOQuery1.Eof(); ADOQuery1.Next()) {
        const QString name = ADOQuery1.FieldByName(u"型号"_s).AsString();
        if (!name.isEmpty()) {
            box->addItem(name);
        }
    }
    ADOQuery1.Close();
    // A combo box shows its first item once it has items; the model box keeps its text.
    box->setCurrentIndex(-1);
    box->setEditText(text);
    focusOn(box);
    // The login window, modal to the application: nothing else takes input until a login succeeds.
    m_loginFrm = std::make_unique<TLoginfrm>(ADO1, *this, this);
    showModal(*m_loginFrm);
    if (TLoginfrm::accounts().enabled) {
        m_idleWatch = std::make_unique<IdleWatch>(TLoginfrm::accounts().idleMinutes);
        connect(m_idleWatch.get(), &IdleWatch::idle, this, [this] {
            if (m_loginFrm && m_loginFrm->loggedIn())
                runWindowHandler([this] { logOut(u"空闲超时"_s); });
        });
    }
}

void TForm1::showModal(QWidget& window) {
    window.setWindowModality(Qt::ApplicationModal);
    window.show();
}

void TForm1::BtnSecurityClick() {
    m_form3 = std::make_unique<TForm3>(mainDatabase(), this);
    showModal(*m_form3);
}

void TForm1::createForm2() {
    m_form2 = std::make_unique<TForm2>(ADO1, this);
}

void TForm1::BtnAttachFilesClick() {
    createForm2();
    showModal(*m_form2);
}

void TForm1::BtnUtilitiesClick() {
    m_setParaFrm = std::make_unique<TSetParaFrm>(iniPath().toStdString(), this);
    showModal(*m_setParaFrm);
}

void TForm1::focusOn(QWidget* widget) {
    widget->setFocus(Qt::OtherFocusReason);
}

void TForm1::mouseDoubleClickEvent(QMouseEvent* event) {
    // Only the bare surface: a label, lamp or display under the pointer is not the form.
    if (childAt(event->position().toPoint()) == nullptr) {
        runWindowHandler([this] { FormDblClick(); });
    }
    event->accept();
}

void TForm1::FormDblClick() {
    if (std::optional<QColor> chosen = ColorDialog::pick(this, fromColorValue(m_color))) {
        applyColor(toColorValue(*chosen));
    }
    StationConfig::saveWindowColor(iniPath().toStdString(), m_color);
}

void TForm1::BtnExitClick() {
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool accepted = m_confirmed;
    if (!accepted)
        runWindowHandler([&] { accepted = FormCloseQuery(); });
    if (accepted) {
        accepted = runWindowHandler([this] { FormClose(); });
    }
    if (accepted) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TForm1::FormCloseQuery() {
    MessageBox::Request request;
    request.title = u"提示！"_s;
    request.text = u"您确实要退出本系统吗？"_s;
    request.icon = QMessageBox::Information;
    request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
    return MessageBox::show(this, request) != QMessageBox::Cancel;
}

void TForm1::closeWithoutConfirmation() {
    m_confirmed = true;
    const bool closed = close();
    m_confirmed = false; // a close that failed asks again next time
    if (closed) {
        QCoreApplication::quit(); // also while a window of its own (the login) is still open
    }
}

void TForm1::FormClose() {
    m_core.FormClose();
    // A trail that cannot be written is said; the program still closes.
    if (m_loginFrm && m_loginFrm->loggedIn())
        runWindowHandler([] { AuditTrail::write(audit_event::kLogout, {}, {}, {}, u"退出程序"_s); });
    const StationRuntime::FinishReport records = m_host.finishRecording(kCloseWaitMs);
    if (records.unsavedFile > 0)
        showMessage(u"提示"_s, u"%1 条记录无法写入本地日志，已保存到：\n%2"_s.arg(records.unsavedFile)
                                   .arg(QDir::toNativeSeparators(records.unsavedPath)));
    if (records.waiting > 0)
        showMessage(u"提示"_s,
                    u"数据库离线：%1 条记录尚未上传，已保存在本地日志中，下次启动时自动上传。"_s.arg(records.waiting));
    // The last frame must be on the line before the port is closed with the program.
    m_host.drainPort(2000);
    m_statistics.close();
}

void TForm1::BtnSendtoBackClick() {
    const QString path = QDir::current().absoluteFilePath(kHelpFile);
    if (!QFileInfo(path).isFile()) {
        showMessage(u"提示"_s, u"缺少帮助文件“帮助文件.pdf”！"_s);
        return;
    }
    const QUrl url = QUrl::fromLocalFile(path);
    if (!(g_helpOpener ? g_helpOpener(url) : QDesktopServices::openUrl(url))) {
        showMessage(u"提示"_s, u"没有安装能显示 PDF 文件的程序（PDF 阅读器），帮助文件无法打开。\n帮助文件在："_s +
                                   QDir::toNativeSeparators(path));
    }
}

void TForm1::BtnStatisticsClick() {
    m_statistics.open();
}

void TForm1::showIndicatorSilent(bool silent, const QDateTime& since) {
    Ui::TForm1& ui = *m_ui;
    if (silent) {
        m_marqueeCaption = ui.RzMarqueeStatus1->text();
        ui.RzMarqueeStatus1->setText(u"仪表无数据"_s);
        const QString text = u"仪表自 "_s + since.toString(u"HH:mm:ss"_s) + u" 起无数据"_s;
        ui.SilenceStatus->setText(text);
        // The whole text, however narrow the window: the operator must see since when.
        ui.SilenceStatus->setMinimumWidth(ui.SilenceStatus->fontMetrics().horizontalAdvance(text) + 16);
        ui.SilenceStatus->setVisible(true);
    } else {
        ui.RzMarqueeStatus1->setText(m_marqueeCaption);
        ui.SilenceStatus->clear();
        ui.SilenceStatus->setVisible(false);
    }
}

void TForm1::BtnOKClick() {
    QString backup;
    QString lastLink;
    try {
        if (const AuditTrail* trail = AuditTrail::configured())
            lastLink = ChainVerifier::lastWeightLink(ADO1, trail->station());
        backup = DatabaseBackup::initialize(ADO1, QDir::currentPath());
    } catch (const BackupError& error) {
        // Nothing was deleted; the text says what failed. A failing deletion goes to the error box.
        showMessage(u"提示"_s, error.message());
        return;
    }
    AuditTrail::write(audit_event::kInitialization, u"weight"_s, lastLink, {},
                      u"记录已备份到 %1 并清空；称重记录的链重新开始"_s.arg(QDir::toNativeSeparators(backup)));
    showMessage(u"提示"_s, u"初始化成功,以前数据已经被系统存储在"_s + QDir::toNativeSeparators(backup) + u"下."_s);
}

void TForm1::showMessage(const QString& title, const QString& text) {
    m_host.showMessage(title.toStdString(), text.toStdString());
}

QString TForm1::trimmed(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20) {
        ++begin;
    }
    while (end > begin && text.at(end - 1).unicode() <= 0x20) {
        --end;
    }
    return text.mid(begin, end - begin);
}

QString TForm1::modelName() const {
    return trimmed(m_ui->ComboBox1->currentText());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab moves the focus before any character reaches an edit; keys without a character pass.
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab || key->text().isEmpty()) {
            return false;
        }
        bool accepted = true;
        runWindowHandler([&] {
            for (QChar c : key->text()) {
                accepted = accepted && Et1KeyPress(c);
            }
        });
        return !accepted;
    }
    if (event->type() == QEvent::FocusOut) {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        auto* edit = qobject_cast<QLineEdit*>(watched);
        const bool catalogueEdit = edit == m_ui->Et1 || edit == m_ui->Et2 || edit == m_ui->Et3;
        if (catalogueEdit && reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            runWindowHandler([&] { Et1Exit(edit); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool TForm1::Et1KeyPress(QChar key) {
    if ((key >= u'0' && key <= u'9') || key == u'.' || key.unicode() == 8) {
        return true;
    }
    SystemBeep::beep();
    return false;
}

void TForm1::Et1Exit(QLineEdit* edit) {
    if (trimmed(edit->text()).isEmpty()) {
        edit->setText(u"0"_s);
    }
    edit->setText(weightText(NumberText::toFloat(edit->text().toStdString())));
}

} // namespace kelvora
