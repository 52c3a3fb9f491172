#pragma once

#include "app/config/StationConfig.h"

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <QDialog>

namespace Ui {
class TSetParaFrm;
}

class QRadioButton;

namespace kelvora {

class SerialLineListener;
struct DetectedIndicator;

/// The parameter settings window: the algorithm, the indicator series, the port settings, the sampling
/// and the product threshold of the Option.ini at `iniPath`, loaded as the window is created. 确定 saves
/// every field as shown (no validation), names in a notice "提示" the settings changed since the window
/// was opened (by their captions: those the station reads at its next start, and a new port, which the
/// next 开始 or 继续 opens) and closes; a save the platform refuses is shown in the standard error box and
/// the window stays open. 取消 and the close box leave the file untouched.
///
/// The indicator group lists every family the station reads (托利多系列 and 耀华系列 first). 识别仪表
/// listens on the port shown (IndicatorDetector, in a thread of its own, never writing to the port) and
/// selects the family found with its baud rate and parity filled in; the line below the group tells the
/// progress and the outcome. Closing the window ends the listening.
class TSetParaFrm : public QDialog {
    Q_OBJECT
public:
    explicit TSetParaFrm(std::string iniPath, QWidget* parent = nullptr);
    ~TSetParaFrm() override;

    /// The port names offered: the six design-time names, then this machine's serial devices.
    static QStringList portNames();

private:
    void FormCreate();
    void RzBitBtn1Click();
    void RzBitBtn2Click();
    void BtnDetectClick();
    /// On the window's thread: the detection is over (found, or nothing; error holds its failure).
    void detectionDone(const std::optional<DetectedIndicator>& found, const std::string& error);
    QList<QRadioButton*> indicatorGroup() const;
    void showValues(const SettingsWindowValues& values);
    SettingsWindowValues shown() const;
    /// The captions of the settings that differ between before and after, in the window's order.
    QStringList changedCaptions(const SettingsWindowValues& before, const SettingsWindowValues& after) const;

    std::unique_ptr<Ui::TSetParaFrm> m_ui;
    std::string m_iniPath;
    SettingsWindowValues m_loaded; ///< as the file held them when the window was created
    std::shared_ptr<SerialLineListener> m_listener;
    std::thread m_detection;
};

} // namespace kelvora
