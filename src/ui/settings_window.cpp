#include "ui/settings_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "base/settings_keys.h"

namespace vocalis {

namespace {
QString text(const std::optional<std::string>& value) { return QString::fromStdString(value.value_or("")); }
}  // namespace

SettingsWindow::SettingsWindow(Parts parts, QWidget* parent)
    : QDialog(parent),
      parts_(std::move(parts)),
      txtDeviceName_(new QLineEdit(this)),
      cbStartup_(new QCheckBox(QStringLiteral("Khởi động cùng máy tính"), this)),
      cbScoring_(new QCheckBox(QStringLiteral("Chấm điểm sau mỗi bài hát"), this)),
      cbPitchBand_(new QCheckBox(QStringLiteral("Hiện cao độ"), this)),
      cbRandom_(new QCheckBox(QStringLiteral("Phát nhạc ngẫu nhiên khi không có bài hát"), this)),
      cbFairTurns_(new QCheckBox(QStringLiteral("Xoay vòng người hát"), this)),
      ddlMicrophone_(new QComboBox(this)),
      spnMicrophoneDelay_(new QSpinBox(this)),
      btnMeasureDelay_(new QPushButton(QStringLiteral("Đo độ trễ micro"), this)),
      lblDelayOutcome_(new QLabel(this)),
      ddlKeyword_(new QComboBox(this)),
      txtKeyword_(new QLineEdit(this)),
      txtWebPin_(new QLineEdit(this)),
      btnOK_(new QPushButton(QStringLiteral("OK"), this)) {
    setWindowTitle(QStringLiteral("Cài đặt"));
    setAttribute(Qt::WA_DeleteOnClose);
    // The order is the stored random type: category, title, singer.
    ddlKeyword_->addItems(
        {QStringLiteral("Thể loại"), QStringLiteral("Tên bài hát"), QStringLiteral("Ca sĩ")});
    txtKeyword_->setPlaceholderText(QStringLiteral("Từ khoá"));
    txtWebPin_->setPlaceholderText(QStringLiteral("Không có: khách nào cũng điều khiển được"));
    txtWebPin_->setMaxLength(32);
    btnOK_->setDefault(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Tên thiết bị"), txtDeviceName_);
    form->addRow(cbStartup_);
    form->addRow(cbScoring_);
    form->addRow(cbPitchBand_);
    auto* microphoneRow = new QHBoxLayout;
    microphoneRow->addWidget(ddlMicrophone_, 1);
    microphoneRow->addWidget(btnMeasureDelay_);
    form->addRow(QStringLiteral("Micro chấm điểm"), microphoneRow);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(spnMicrophoneDelay_);
    delayRow->addWidget(lblDelayOutcome_, 1);
    form->addRow(QStringLiteral("Độ trễ micro"), delayRow);
    form->addRow(cbRandom_);
    auto* randomRow = new QHBoxLayout;
    randomRow->addWidget(ddlKeyword_);
    randomRow->addWidget(txtKeyword_, 1);
    form->addRow(QStringLiteral("Lọc theo"), randomRow);
    form->addRow(cbFairTurns_);
    form->addRow(QStringLiteral("Mã PIN điều khiển web"), txtWebPin_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOK_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    setMinimumWidth(420);

    // What is stored now; the controls' own signals are connected afterwards so that
    // filling them stores nothing.
    Preferences& store = parts_.preferences;
    cbStartup_->setChecked(parts_.launchOnLogin && parts_.launchOnLogin());
    txtDeviceName_->setText(text(store.stringForKey(KEY_DEVICE_NAME)));
    cbScoring_->setChecked(store.boolForKey(KEY_SCORING));
    cbPitchBand_->setChecked(store.boolForKey(KEY_PITCH_BAND));
    cbPitchBand_->setToolTip(
        QStringLiteral("Giai điệu sắp tới và cao độ người hát, khi bài được chấm bằng micro"));
    // The default source, each input by what the operator knows it as, and none; the stored
    // choice is kept in the list even while it is not plugged in. Each item holds the stored value.
    const std::string microphone = store.stringForKey(KEY_MICROPHONE).value_or("");
    ddlMicrophone_->addItem(QStringLiteral("Micro mặc định của máy"), QString());
    bool listed = microphone.empty() || microphone == "none";
    for (const SoundSource& source : parts_.microphones) {
        ddlMicrophone_->addItem(QString::fromStdString(source.description),
                                QString::fromStdString(source.name));
        listed = listed || source.name == microphone;
    }
    if (!listed)
        ddlMicrophone_->addItem(QString::fromStdString(microphone) + QStringLiteral(" (chưa cắm)"),
                                QString::fromStdString(microphone));
    ddlMicrophone_->addItem(QStringLiteral("Không dùng micro (điểm ngẫu nhiên)"), QStringLiteral("none"));
    ddlMicrophone_->setCurrentIndex(
        std::max(0, ddlMicrophone_->findData(QString::fromStdString(microphone))));
    ddlMicrophone_->setToolTip(QStringLiteral("Dùng từ lần mở máy hát sau"));
    spnMicrophoneDelay_->setRange(0, 1000);
    spnMicrophoneDelay_->setSuffix(QStringLiteral(" ms"));
    spnMicrophoneDelay_->setValue(static_cast<int>(store.integerForKey(KEY_MICROPHONE_DELAY)));
    spnMicrophoneDelay_->setToolTip(QStringLiteral("Tiếng hát đến micro chậm hơn tiếng nhạc bao lâu"));
    btnMeasureDelay_->setEnabled(static_cast<bool>(parts_.measureDelay));
    btnMeasureDelay_->setToolTip(QStringLiteral("Phát vài tiếng bíp ra loa và nghe lại qua micro đã chọn"));
    lblDelayOutcome_->setWordWrap(true);
    // The engine stores it; --fair-turns may have it on for this run only.
    cbFairTurns_->setChecked(parts_.fairTurns);
    cbFairTurns_->setToolTip(QStringLiteral("Mỗi người hát một bài rồi mới đến lượt thứ hai"));
    isRandom_ = store.boolForKey(KEY_RANDOM);
    cbRandom_->setChecked(isRandom_);
    ddlKeyword_->setEnabled(isRandom_);
    txtKeyword_->setEnabled(isRandom_);
    randomType_ = static_cast<std::int32_t>(store.integerForKey(KEY_RANDOM_TYPE));
    ddlKeyword_->setCurrentIndex(randomType_ >= 0 && randomType_ < ddlKeyword_->count() ? randomType_ : 0);
    randomKeyword_ = store.stringForKey(KEY_RANDOM_KEYWORD);
    txtKeyword_->setText(text(randomKeyword_));
    txtWebPin_->setText(text(store.stringForKey(KEY_WEB_PIN)));
    originalIsRandom_ = isRandom_;
    originalRandomType_ = randomType_;
    originalRandomKeyword_ = store.stringForKey(KEY_RANDOM_KEYWORD);

    connect(txtDeviceName_, &QLineEdit::textEdited, this, &SettingsWindow::textChanged);
    connect(txtKeyword_, &QLineEdit::textEdited, this, &SettingsWindow::textChanged);
    // The browser remote reads the stored PIN at each command: no restart needed. Spaces
    // around it would only lock the operator out.
    connect(txtWebPin_, &QLineEdit::textEdited, this, [this](const QString& typed) {
        const std::string pin = typed.trimmed().toStdString();
        if (pin.empty())
            parts_.preferences.removeObject(KEY_WEB_PIN);
        else
            parts_.preferences.setString(KEY_WEB_PIN, pin);
        parts_.preferences.synchronize();
    });
    connect(cbStartup_, &QCheckBox::toggled, this, [this](bool checked) {
        if (parts_.setLaunchOnLogin) parts_.setLaunchOnLogin(checked);
    });
    connect(cbRandom_, &QCheckBox::toggled, this, &SettingsWindow::randomChecked);
    connect(cbFairTurns_, &QCheckBox::toggled, this, [this](bool checked) {
        if (parts_.setFairTurns) parts_.setFairTurns(checked);
    });
    connect(ddlMicrophone_, &QComboBox::activated, this, [this](int index) {
        const std::string chosen = ddlMicrophone_->itemData(index).toString().toStdString();
        if (chosen.empty())
            parts_.preferences.removeObject(KEY_MICROPHONE);
        else
            parts_.preferences.setString(KEY_MICROPHONE, chosen);
        parts_.preferences.synchronize();
    });
    connect(spnMicrophoneDelay_, &QSpinBox::valueChanged, this, [this](int ms) {
        parts_.preferences.setInteger(KEY_MICROPHONE_DELAY, ms);
        parts_.preferences.synchronize();
        if (parts_.setMicrophoneDelay) parts_.setMicrophoneDelay(std::chrono::milliseconds(ms));
    });
    connect(btnMeasureDelay_, &QPushButton::clicked, this, &SettingsWindow::measureDelay);
    connect(ddlKeyword_, &QComboBox::activated, this, [this](int index) {
        randomType_ = index;
        parts_.preferences.setInteger(KEY_RANDOM_TYPE, index);
        parts_.preferences.synchronize();
    });
    connect(cbScoring_, &QCheckBox::toggled, this, [this](bool checked) {
        parts_.preferences.setBool(KEY_SCORING, checked);
        parts_.preferences.synchronize();
        if (parts_.setHasScoring) parts_.setHasScoring(checked);
    });
    connect(cbPitchBand_, &QCheckBox::toggled, this, [this](bool checked) {
        parts_.preferences.setBool(KEY_PITCH_BAND, checked);
        parts_.preferences.synchronize();
        if (parts_.setShowsPitchBand) parts_.setShowsPitchBand(checked);
    });
    connect(btnOK_, &QPushButton::clicked, this, &SettingsWindow::okClicked);
}

// Both fields are stored whichever of them changed, as typed.
void SettingsWindow::textChanged() {
    parts_.preferences.setString(KEY_DEVICE_NAME, txtDeviceName_->text().toStdString());
    randomKeyword_ = txtKeyword_->text().toStdString();
    parts_.preferences.setString(KEY_RANDOM_KEYWORD, *randomKeyword_);
    parts_.preferences.synchronize();
}

void SettingsWindow::randomChecked(bool checked) {
    ddlKeyword_->setEnabled(checked);
    txtKeyword_->setEnabled(checked);
    isRandom_ = checked;
    parts_.preferences.setBool(KEY_RANDOM, checked);
    parts_.preferences.synchronize();
}

void SettingsWindow::okClicked() {
    const bool unchanged = isRandom_ == originalIsRandom_ && randomType_ == originalRandomType_ &&
                           randomKeyword_ == originalRandomKeyword_;
    if (!unchanged && parts_.setRandom) parts_.setRandom(isRandom_, randomType_, randomKeyword_);
    accept();
}

// The bursts take a few seconds: the window stays live meanwhile and hears the answer through its
// own event queue (a window closed first stops the measuring and hears nothing).
void SettingsWindow::measureDelay() {
    const std::string source = ddlMicrophone_->currentData().toString().toStdString();
    if (source == "none") {
        lblDelayOutcome_->setText(QStringLiteral("Hãy chọn micro trước khi đo"));
        return;
    }
    btnMeasureDelay_->setEnabled(false);
    btnMeasureDelay_->setText(QStringLiteral("Đang đo…"));
    lblDelayOutcome_->setText(QStringLiteral("Giữ yên lặng trong lúc đo"));
    measuring_ = std::jthread([this, measure = parts_.measureDelay, source](std::stop_token stop) {
        const MicrophoneDelay measured = measure(source, stop);
        if (stop.stop_requested()) return;
        QMetaObject::invokeMethod(
            this, [this, measured] { delayMeasured(measured); }, Qt::QueuedConnection);
    });
}

void SettingsWindow::delayMeasured(const MicrophoneDelay& measured) {
    btnMeasureDelay_->setEnabled(true);
    btnMeasureDelay_->setText(QStringLiteral("Đo độ trễ micro"));
    if (!measured.delay) {
        lblDelayOutcome_->setText(QString::fromStdString(measured.failure));
        return;
    }
    spnMicrophoneDelay_->setValue(static_cast<int>(measured.delay->count()));  // stored as typed values are
    lblDelayOutcome_->setText(QStringLiteral("Đã đo: %1 ms").arg(measured.delay->count()));
}

// Every way of closing (OK, Escape, the close button) ends here.
void SettingsWindow::done(int result) {
    if (!closed_) {
        closed_ = true;
        if (txtDeviceName_->text().isEmpty()) parts_.preferences.setString(KEY_DEVICE_NAME, parts_.loginName);
    }
    QDialog::done(result);
}

}  // namespace vocalis
