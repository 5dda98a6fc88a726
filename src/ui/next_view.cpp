#include "ui/next_view.h"

#include <QByteArrayView>
#include <QFontMetrics>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QVariantAnimation>
#include <cmath>

#include "ui/overlay_style.h"

namespace vocalis {

namespace {

// At a 720-line screen; everything scales with the screen.
constexpr int kPadding = 8;
constexpr int kThumbWidth = 176;  // 16:9
constexpr int kThumbHeight = 99;
constexpr int kTextWidth = 280;
constexpr int kGap = 14;

// A plain picture for songs without a thumbnail when no banner file was given.
QImage drawnBanner() {
    QImage image(640, 360, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 640, 360);
    gradient.setColorAt(0, QColor(0x4a, 0x14, 0x8c));
    gradient.setColorAt(1, QColor(0xc2, 0x18, 0x5b));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    painter.setFont(overlayFont(96, true));
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Vocalis"));
    return image;
}

}  // namespace

FillImageView::FillImageView(QWidget* parent) : QWidget(parent) {}

void FillImageView::setImage(QImage image) {
    image_ = std::move(image);
    update();
}

void FillImageView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(rect()), 3, 3);
    painter.setClipPath(clip);
    // Crop the picture's middle to this view's shape.
    const QSizeF source = image_.size();
    const qreal scale = std::max(width() / source.width(), height() / source.height());
    const QSizeF shown(width() / scale, height() / scale);
    const QRectF from((source.width() - shown.width()) / 2, (source.height() - shown.height()) / 2,
                      shown.width(), shown.height());
    painter.drawImage(QRectF(rect()), image_, from);
}

NextView::NextView(QImage banner, QWidget* parent)
    : QWidget(parent),
      banner_(banner.isNull() ? drawnBanner() : std::move(banner)),
      imgNextThumbnail_(new FillImageView(this)),
      lblUpNext_(new QLabel(this)),
      lblNextTitle_(new QLabel(this)),
      lblNextSinger_(new QLabel(this)),
      fade_(new QVariantAnimation(this)) {
    setAttribute(Qt::WA_TranslucentBackground);
    imgNextThumbnail_->setImage(banner_);
    lblUpNext_->setStyleSheet(QStringLiteral("color: #ffd54f;"));
    lblNextTitle_->setStyleSheet(QStringLiteral("color: white;"));
    lblNextSinger_->setStyleSheet(QStringLiteral("color: #e6e6e6;"));
    for (QWidget* part : parts()) part->hide();
    connect(fade_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        opacity_ = value.toDouble();
        update();
    });
    fade_->setDuration(kFadeMilliseconds);
    fade_->setEasingCurve(QEasingCurve::InOutQuad);
    applyScale(1);
}

void NextView::setContent(const std::optional<ImageBytes>& thumbnail, const QString& upNext,
                          const QString& title, const QString& singer) {
    QImage picture;
    if (thumbnail && !thumbnail->empty())
        picture =
            QImage::fromData(QByteArrayView(thumbnail->data(), static_cast<qsizetype>(thumbnail->size())));
    imgNextThumbnail_->setImage(picture.isNull() ? banner_ : picture);
    upNext_ = upNext;
    title_ = title;
    singer_ = singer;
    updateTexts();
}

void NextView::fadeTo(double alpha) {
    target_ = std::clamp(alpha, 0.0, 1.0);
    fade_->stop();
    fade_->setStartValue(opacity_);
    fade_->setEndValue(target_);
    fade_->start();
}

std::array<QWidget*, 4> NextView::parts() const {
    return {imgNextThumbnail_, lblUpNext_, lblNextTitle_, lblNextSinger_};
}

double NextView::opacity() const { return opacity_; }
double NextView::targetOpacity() const { return target_; }
bool NextView::isFading() const { return fade_->state() == QAbstractAnimation::Running; }
const QImage& NextView::thumbnail() const { return imgNextThumbnail_->image(); }

void NextView::applyScale(qreal scale) {
    scale_ = scale;
    auto px = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
    const int padding = px(kPadding);
    const QSize thumb(px(kThumbWidth), px(kThumbHeight));
    setFixedSize(padding + thumb.width() + px(kGap) + px(kTextWidth) + padding,
                 padding + thumb.height() + padding);
    imgNextThumbnail_->setGeometry(padding, padding, thumb.width(), thumb.height());

    lblUpNext_->setFont(overlayFont(px(17), true));
    lblNextTitle_->setFont(overlayFont(px(23), true));
    lblNextSinger_->setFont(overlayFont(px(18), false));
    const int textX = padding + thumb.width() + px(kGap);
    const int textWidth = width() - textX - padding;
    int y = padding;
    for (QLabel* label : {lblUpNext_, lblNextTitle_, lblNextSinger_}) {
        const int lineHeight = QFontMetrics(label->font()).height();
        label->setGeometry(textX, y, textWidth, lineHeight);
        y += lineHeight + px(4);
    }
    updateTexts();
}

void NextView::updateTexts() {
    // Long titles end in an ellipsis rather than spilling out of the panel.
    const std::pair<QLabel*, const QString*> rows[] = {
        {lblUpNext_, &upNext_}, {lblNextTitle_, &title_}, {lblNextSinger_, &singer_}};
    for (const auto& [label, text] : rows)
        label->setText(QFontMetrics(label->font()).elidedText(*text, Qt::ElideRight, label->width()));
    cache_.invalidate();
    update();
}

void NextView::paintEvent(QPaintEvent*) {
    cache_.paint(
        *this,
        [this](QPainter& painter) {
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(Qt::NoPen);
            painter.setBrush(QColor(0, 0, 0, 128));
            painter.drawRoundedRect(QRectF(rect()), 4.0, 4.0);
            for (QWidget* part : parts()) part->render(&painter, part->pos(), QRegion(), {});
        },
        opacity_);
}

}  // namespace vocalis
