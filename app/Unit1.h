#pragma once

#include "app/RunAudit.h"
#include "app/StationStatistics.h"
#include "app/WindowStationHost.h"
#include "comm/TComm.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "station/StationRuntime.h"
#include "users/LoginTarget.h"
#include "weighing/WeighingCore.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QUrl>
#include <QWidget>

class QLineEdit;

namespace Ui {
class TForm1;
}

namespace kelvora {

class TForm2;
class TForm3;
class TLoginfrm;
class TSetParaFrm;
class TAuditFrm;
class TChangePasswordFrm;
class IdleWatch;
class DatabaseStatusView;

/// How the window's port and clock are driven; the defaults are the station's own.
struct StationWindowOptions {
    bool virtualClock = false;    ///< time follows the script (script mode)
    bool virtualPort = false;     ///< Comm1 opens nothing and sends nowhere (script mode without a port)
    QString portName;             ///< replaces Option.ini's port name when not empty
    TraceWriter* trace = nullptr; ///< where the window writes the station trace
};

/// The main window: weight displays, lamps, the model catalogue, the toolbar with the run commands and
/// the status bar. Every event enters through runWindowHandler, so an error shows in the standard error
/// box and the window goes on. The station folder (Option.ini, database.mdb, Backup/, the help file) is
/// the working directory.
class TForm1 : public QWidget, public LoginTarget {
    Q_OBJECT
public:
    using Options = StationWindowOptions;

    /// Creates the window and runs FormCreate (errors there are shown and the window is still created).
    explicit TForm1(const Options& options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1& ui() { return *m_ui; }
    WeighingCore& core() { return m_core; }
    StationRuntime& runtime() { return m_runtime; }
    WindowStationHost& host() { return m_host; }
    StationStatistics& statistics() { return m_statistics; }
    /// The run's events in the audit trail.
    RunAudit& runAudit() { return m_runAudit; }
    /// The station folder's Option.ini.
    QString iniPath() const;

    TComm Comm1{this};
    TADOConnection ADO1;
    TADOQuery ADOQuery1{ADO1};

    /// Opens the help file; the desktop's viewer by default. Returns false when it could not.
    using HelpOpener = std::function<bool(const QUrl& url)>;
    static void setHelpOpener(HelpOpener opener);

    // Handlers, each run as one event through the error path.
    void FormCreate();
    void FormShow();
    void FormDblClick();
    void BtnExitClick();
    /// The exit confirmation; true when the window may close.
    bool FormCloseQuery();
    /// The station is told to end (SIGTERM, SIGHUP): the close steps run without the confirmation.
    void closeWithoutConfirmation();
    void FormClose();
    void BtnSendtoBackClick();
    /// Start and Continue; with the field 批号 ([站点] 输入批号) its text becomes the lot of the run's rows
    /// and is remembered for the next start.
    void BtnClearClick(const QObject* sender);
    void BtnSetTabsClick();
    void BtnBulletsClick();
    /// Comm1 reports a failure it cannot recover from: the run stops (WeighingCore::PortFailed) and the
    /// failure is on record.
    void Comm1RequestHangup();
    /// The initialization: the database backed up to Backup/ in the station folder, then the records
    /// cleared; when the backup cannot be made nothing is deleted and a notice says why.
    void BtnOKClick();
    /// 查询, 用户 and 设置: each opens a new window modally; the window it replaces is released (with the
    /// query window's own connection).
    void BtnSecurityClick();
    void BtnAttachFilesClick();
    void BtnUtilitiesClick();
    /// 统计: the statistics window, non-modal beside this one.
    void BtnStatisticsClick();
    /// The indicator fell silent at `since` (the marquee says "仪表无数据", the pane SilenceStatus since
    /// when) or spoke again (the marquee's caption back, the pane empty).
    void showIndicatorSilent(bool silent, const QDateTime& since);
    /// The rights editor the station creates hidden at start, right after this window (its query opens).
    void createForm2();
    /// 审计追踪 (shown with the right 用户): the audit trail's window, modally.
    void BtnAuditClick();
    /// With accounts: 修改密码 for the operator logged in, modally.
    void BtnChangePasswordClick();
    /// With accounts: 切换用户, and no input for [安全] 空闲分钟, log the operator out (recorded with
    /// `reason`), hide every button governed by rights and show the login window again; weighing goes on.
    void logOut(const QString& reason);
    TAuditFrm* AuditFrm() const { return m_auditFrm.get(); }
    IdleWatch* idleWatch() const { return m_idleWatch.get(); }

    /// The windows opened last (nullptr before the first).
    TLoginfrm* LoginFrm() const { return m_loginFrm.get(); }
    TForm2* Form2() const { return m_form2.get(); }
    TForm3* Form3() const { return m_form3.get(); }
    TSetParaFrm* SetParaFrm() const { return m_setParaFrm.get(); }

    // What a login changes: the operator pane and the buttons governed by rights.
    void setOperatorName(const QString& name) override;
    void setRightVisible(const QString& right, bool visible) override;
    void ComboBox1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    /// The key filter of the five number edits: false when key is refused (the beep sounds).
    bool Et1KeyPress(QChar key);
    /// Formats the edit being left (Et1, Et2 or Et3) as "0.000".
    void Et1Exit(QLineEdit* edit);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectHandlers();
    /// 审计追踪 and, for stations with accounts, 切换用户 and 修改密码 beside 用户 in the toolbar, hidden
    /// until a login or the accounts show them.
    void addAccountButtons();
    /// Before Start or Continue: a port chosen in 设置 since the start replaces the one in use.
    void usePortChosenSince();
    /// The field 批号 beside the batch values, showing `lot`.
    void createLotField(const QString& lot);
    /// Start and Continue: the field's text becomes the runtime's lot (and Option.ini's when it changed).
    void takeLot();
    void applyColor(std::uint32_t color);
    void showMessage(const QString& title, const QString& text);
    void focusOn(QWidget* widget);
    /// The text without blanks and control characters at either end.
    static QString trimmed(const QString& text);
    /// The model box's text, trimmed: the name the catalogue works with.
    QString modelName() const;
    /// Runs one catalogue statement of values on ADOQuery1 (closed, cleared, the line added, the
    /// parameters bound by name).
    void execute(const QString& statement, const std::vector<std::pair<QString, QString>>& parameters, bool rows);

    /// Shows a window created for one of the toolbar's commands, modal to the application.
    static void showModal(QWidget& window);

    std::unique_ptr<Ui::TForm1> m_ui;
    WindowStationHost m_host;
    StationStatistics m_statistics{*this};
    StationRuntime m_runtime;
    RunAudit m_runAudit;
    WeighingCore& m_core = m_runtime.core();
    // The windows the toolbar opens, after the host: they die first, and their hiding on the way is
    // still traced through the host.
    std::unique_ptr<TLoginfrm> m_loginFrm;
    std::unique_ptr<TForm2> m_form2;
    std::unique_ptr<TForm3> m_form3;
    std::unique_ptr<TSetParaFrm> m_setParaFrm;
    std::unique_ptr<TAuditFrm> m_auditFrm;
    std::unique_ptr<TChangePasswordFrm> m_changePasswordFrm;
    std::unique_ptr<IdleWatch> m_idleWatch;
    std::unique_ptr<DatabaseStatusView> m_databaseStatus;
    Options m_options;
    std::uint32_t m_color = 16053492;
    bool m_shown = false;
    bool m_closing = false;
    bool m_confirmed = false;       // the close needs no confirmation
    QString m_marqueeCaption;       // shown again when the indicator speaks
    QLineEdit* m_lotEdit = nullptr; // with [站点] 输入批号
    QString m_lot;                  // the lot last remembered in Option.ini
    std::string m_loadedPort;       // Option.ini's port at start: a port chosen since in 设置 is used by 继续
};

} // namespace kelvora
