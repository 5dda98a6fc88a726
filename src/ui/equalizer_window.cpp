#include "ui/equalizer_window.h"

#include <vlc/vlc.h>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

namespace vocalis {

namespace {

QString gainText(float gain) { return QString::asprintf("%0.1fdB", static_cast<double>(gain)); }

// libVLC's own band centres, so the captions always match what the sliders change.
QString bandCaption(int band) {
    const float hertz = libvlc_audio_equalizer_get_band_frequency(static_cast<unsigned>(band));
    if (hertz <= 0) return QString::number(band);
    if (hertz >= 1000) return QString::number(hertz / 1000.0f, 'g', 3) + QStringLiteral(" kHz");
    return QString::number(static_cast<int>(std::lround(hertz))) + QStringLiteral(" Hz");
}

}  // namespace

int EqualizerWindow::positionOf(float gain) {
    return static_cast<int>(std::lround(static_cast<double>(gain) * 10.0)) + 200;
}

float EqualizerWindow::gainOf(int position) { return static_cast<float>((position - 200) / 10.0); }

const EqualizerValues& EqualizerWindow::defaultPreset() {
    static const EqualizerValues preset{12.0, std::vector<float>(10, 0.0f)};
    return preset;
}

const EqualizerValues& EqualizerWindow::karaokePreset() {
    static const EqualizerValues preset{11.0, {4, 4, 3, 2, 0, 0, 2, 3, 4, 4}};
    return preset;
}

EqualizerWindow::EqualizerWindow(const EqualizerValues& values, Apply apply, QWidget* parent)
    : QDialog(parent), apply_(std::move(apply)) {
    setWindowTitle(QStringLiteral("Bộ chỉnh âm"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* grid = new QGridLayout;
    for (int i = 0; i < kSliders; ++i) {
        auto* slider = new QSlider(Qt::Vertical, this);
        // libVLC takes -20 dB to +20 dB.
        slider->setRange(0, 400);
        slider->setPageStep(10);
        slider->setMinimumHeight(180);
        auto* label = new QLabel(this);
        label->setAlignment(Qt::AlignCenter);
        label->setMinimumWidth(56);
        auto* caption = new QLabel(i == 0 ? QStringLiteral("Preamp") : bandCaption(i - 1), this);
        caption->setAlignment(Qt::AlignCenter);
        const int column = i == 0 ? 0 : i + 1;  // a gap between the pre-amplification and the bands
        grid->addWidget(label, 0, column);
        grid->addWidget(slider, 1, column, Qt::AlignHCenter);
        grid->addWidget(caption, 2, column);
        sliders_[static_cast<std::size_t>(i)] = slider;
        labels_[static_cast<std::size_t>(i)] = label;
        connect(slider, &QSlider::valueChanged, this,
                [this, i](int position) { sliderChanged(i, position); });
    }
    grid->setColumnMinimumWidth(1, 16);

    btnDefault_ = new QPushButton(QStringLiteral("Mặc định"), this);
    btnKaraoke_ = new QPushButton(QStringLiteral("Karaoke"), this);
    auto* btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setDefault(true);
    connect(btnDefault_, &QPushButton::clicked, this, [this] { applyPreset(defaultPreset()); });
    connect(btnKaraoke_, &QPushButton::clicked, this, [this] { applyPreset(karaokePreset()); });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnDefault_);
    buttons->addWidget(btnKaraoke_);
    buttons->addStretch();
    buttons->addWidget(btnOK);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    initValues(values);
}

void EqualizerWindow::initValues(const EqualizerValues& values) {
    fromUser_ = false;
    gains_[0] = static_cast<float>(values.preAmplification);
    for (int band = 0; band < 10; ++band)
        gains_[static_cast<std::size_t>(band + 1)] = band < static_cast<int>(values.bands.size())
                                                         ? values.bands[static_cast<std::size_t>(band)]
                                                         : 0.0f;
    for (std::size_t i = 0; i < gains_.size(); ++i) {
        sliders_[i]->setValue(positionOf(gains_[i]));
        labels_[i]->setText(gainText(gains_[i]));
    }
    fromUser_ = true;
}

void EqualizerWindow::sliderChanged(int index, int position) {
    if (!fromUser_) return;
    const auto i = static_cast<std::size_t>(index);
    gains_[i] = gainOf(position);
    labels_[i]->setText(gainText(gains_[i]));
    applyValues();
}

void EqualizerWindow::applyPreset(const EqualizerValues& preset) {
    initValues(preset);
    applyValues();
}

void EqualizerWindow::applyValues() {
    if (apply_) apply_(gains_[0], std::vector<float>(gains_.begin() + 1, gains_.end()));
}

}  // namespace vocalis
