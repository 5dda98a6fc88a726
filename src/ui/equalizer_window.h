#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "app/equalizer_text.h"

class QLabel;
class QPushButton;
class QSlider;

namespace vocalis {

// The equalizer: the pre-amplification and ten bands as sliders, two presets, OK. Every
// slider move and preset is applied to the sound and stored at once; closing reverts
// nothing. Slider position 200 is 0.0 dB and one step is 0.1 dB.
class EqualizerWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kSliders = 11;  // the pre-amplification, then bands 0 to 9
    using Apply = std::function<void(double preAmplification, const std::vector<float>& bands)>;

    static int positionOf(float gain);
    static float gainOf(int position);
    static const EqualizerValues& defaultPreset();
    static const EqualizerValues& karaokePreset();

    // `values` is what is stored now (missing bands read as 0.0); `apply` applies and stores.
    EqualizerWindow(const EqualizerValues& values, Apply apply, QWidget* parent = nullptr);

    // Positions the sliders without applying anything.
    void initValues(const EqualizerValues& values);

    QSlider* slider(int index) const { return sliders_[static_cast<std::size_t>(index)]; }
    QLabel* valueLabel(int index) const { return labels_[static_cast<std::size_t>(index)]; }
    QPushButton* defaultButton() const { return btnDefault_; }
    QPushButton* karaokeButton() const { return btnKaraoke_; }

  private:
    void sliderChanged(int index, int position);
    void applyPreset(const EqualizerValues& preset);
    void applyValues();

    Apply apply_;
    std::array<float, kSliders> gains_{};
    std::array<QSlider*, kSliders> sliders_{};
    std::array<QLabel*, kSliders> labels_{};
    QPushButton* btnDefault_ = nullptr;
    QPushButton* btnKaraoke_ = nullptr;
    bool fromUser_ = true;
};

}  // namespace vocalis
