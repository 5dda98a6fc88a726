#pragma once

#include <QDialog>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>

#include "base/preferences.h"
#include "system/microphone_delay.h"
#include "system/sound_sources.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace vocalis {

// The settings: the device name phones see, launch at login, scoring, the pitch band, the
// microphone the score listens to and that microphone's delay (typed, or measured off the main
// thread), random play and the browser remote's operator PIN.
// Every control is stored at once; the random settings reach the running engine only on
// OK, and only when they differ from what they were when the window opened.
class SettingsWindow final : public QDialog {
    Q_OBJECT

  public:
    struct Parts {
        Preferences& preferences;
        std::string loginName;  // what an emptied device name becomes
        std::function<bool()> launchOnLogin;
        std::function<void(bool)> setLaunchOnLogin;
        std::function<void(bool)> setHasScoring;
        std::function<void(bool isRandom, std::int32_t type, std::optional<std::string> keyword)> setRandom;
        bool fairTurns = false;  // as the engine plays now
        std::function<void(bool)> setFairTurns;
        std::vector<SoundSource> microphones;  // the sound server's inputs now
        std::function<void(bool)> setShowsPitchBand = {};
        // Measures the delay of the source named (empty: the default one); blocks, so it runs
        // on a thread of the window's own. None: no measuring.
        std::function<MicrophoneDelay(const std::string& source, std::stop_token stop)> measureDelay{};
        // The microphone listening now takes a delay stored here at once.
        std::function<void(std::chrono::milliseconds)> setMicrophoneDelay{};
    };

    explicit SettingsWindow(Parts parts, QWidget* parent = nullptr);

    QLineEdit* txtDeviceName() const { return txtDeviceName_; }
    QCheckBox* cbStartup() const { return cbStartup_; }
    QCheckBox* cbScoring() const { return cbScoring_; }
    QCheckBox* cbPitchBand() const { return cbPitchBand_; }
    QCheckBox* cbRandom() const { return cbRandom_; }
    QCheckBox* cbFairTurns() const { return cbFairTurns_; }
    QComboBox* ddlMicrophone() const { return ddlMicrophone_; }
    QSpinBox* spnMicrophoneDelay() const { return spnMicrophoneDelay_; }
    QPushButton* btnMeasureDelay() const { return btnMeasureDelay_; }
    QLabel* lblDelayOutcome() const { return lblDelayOutcome_; }
    QComboBox* ddlKeyword() const { return ddlKeyword_; }
    QLineEdit* txtKeyword() const { return txtKeyword_; }
    QLineEdit* txtWebPin() const { return txtWebPin_; }
    QPushButton* btnOK() const { return btnOK_; }

    void done(int result) override;

  private:
    void textChanged();
    void randomChecked(bool checked);
    void okClicked();
    void measureDelay();
    void delayMeasured(const MicrophoneDelay& measured);

    Parts parts_;
    QLineEdit* txtDeviceName_;
    QCheckBox* cbStartup_;
    QCheckBox* cbScoring_;
    QCheckBox* cbPitchBand_;
    QCheckBox* cbRandom_;
    QCheckBox* cbFairTurns_;
    QComboBox* ddlMicrophone_;
    QSpinBox* spnMicrophoneDelay_;
    QPushButton* btnMeasureDelay_;
    QLabel* lblDelayOutcome_;
    QComboBox* ddlKeyword_;
    QLineEdit* txtKeyword_;
    QLineEdit* txtWebPin_;
    QPushButton* btnOK_;
    bool isRandom_ = false;
    std::int32_t randomType_ = 0;
    std::optional<std::string> randomKeyword_;
    bool originalIsRandom_ = false;
    std::int32_t originalRandomType_ = 0;
    std::optional<std::string> originalRandomKeyword_;
    bool closed_ = false;
    // Last: stopped and joined first when the window goes, before anything it reports to.
    std::jthread measuring_;
};

}  // namespace vocalis
