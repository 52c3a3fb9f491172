#pragma once

#include "app/WindowStationHost.h"
#include "comm/TComm.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "weighing/WeighingCore.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QString>
#include <QUrl>
#include <QWidget>

class QLineEdit;

namespace Ui {
class TForm1;
}

namespace kelvora {

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
class TForm1 : public QWidget {
    Q_OBJECT
public:
    using Options = StationWindowOptions;

    /// Creates the window and runs FormCreate (errors there are shown and the window is still created).
    explicit TForm1(const Options& options = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    Ui::TForm1& ui() { return *m_ui; }
    WeighingCore& core() { return m_core; }
    WindowStationHost& host() { return m_host; }
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
    void FormClose();
    void BtnSendtoBackClick();
    void BtnClearClick(const QObject* sender);
    void BtnSetTabsClick();
    void BtnBulletsClick();
    /// The initialization: the database backed up to Backup/ in the station folder, then the records
    /// cleared; when the backup cannot be made nothing is deleted and a notice says why.
    void BtnOKClick();
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

    std::unique_ptr<Ui::TForm1> m_ui;
    WindowStationHost m_host;
    WeighingCore m_core;
    Options m_options;
    std::uint32_t m_color = 16053492;
    bool m_shown = false;
    bool m_closing = false;
};

} // namespace kelvora
