#pragma once

#include "app/config/StationConfig.h"

#include <memory>
#include <string>

#include <QDialog>

namespace Ui {
class TSetParaFrm;
}

class QRadioButton;

namespace kelvora {

/// The parameter settings window: the algorithm, the indicator series, the port settings, the sampling
/// and the product threshold of the Option.ini at `iniPath`, loaded as the window is created. 确定 saves
/// every field as shown (no validation), names in a notice "提示" the settings changed since the window
/// was opened (by their captions: those the station reads at its next start, and a new port, which the
/// next 开始 or 继续 opens) and closes; a save the platform refuses is shown in the standard error box and
/// the window stays open. 取消 and the close box leave the file untouched.
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
    void showValues(const SettingsWindowValues& values);
    SettingsWindowValues shown() const;
    /// The captions of the settings that differ between before and after, in the window's order.
    QStringList changedCaptions(const SettingsWindowValues& before, const SettingsWindowValues& after) const;

    std::unique_ptr<Ui::TSetParaFrm> m_ui;
    std::string m_iniPath;
    SettingsWindowValues m_loaded; ///< as the file held them when the window was created
};

} // namespace kelvora
