#include "ui/scoring_view.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>
#include <cmath>

#include "ui/overlay_style.h"
#include "ui/shadow_label.h"

namespace vocalis {

ScoringView::ScoringView(QString backgroundFile, QWidget* parent)
    : QWidget(parent),
      backgroundFile_(std::move(backgroundFile)),
      scoringNumber_(new ShadowLabel(this)),
      detail_(new ShadowLabel(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    scoringNumber_->setAlignment(Qt::AlignCenter);
    scoringNumber_->setTextColor(Qt::white);
    detail_->setAlignment(Qt::AlignCenter);
    detail_->setTextColor(Qt::white);
    detail_->hide();
    applyScale(1);
}

void ScoringView::setNumber(int score) { scoringNumber_->setText(QString::number(score)); }

void ScoringView::setDetail(const QString& line) {
    detail_->setText(line);
    detail_->setVisible(!line.isEmpty());
}

void ScoringView::applyScale(qreal scale) {
    scoringNumber_->setFont(overlayFont(static_cast<int>(std::lround(200 * scale)), true));
    scoringNumber_->setShadow(Qt::white, 10.0 * scale * 2);
    // The label keeps one size whatever the number, wide enough for "100".
    const QFontMetrics metrics(scoringNumber_->font());
    scoringNumber_->setFixedSize(
        metrics.horizontalAdvance(QStringLiteral("100")) + static_cast<int>(40 * scale), metrics.height());
    detail_->setFont(overlayFont(static_cast<int>(std::lround(44 * scale)), true));
    detail_->setShadow(Qt::black, 8.0 * scale);
    placeNumber();
}

void ScoringView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeNumber();
}

void ScoringView::placeNumber() {
    // Centred across, sitting a little above the middle.
    const int h = scoringNumber_->height();
    scoringNumber_->move(width() / 2 - scoringNumber_->width() / 2, height() / 2 - (3 * h) / 4);
    // The line under it spans the screen, its words centred.
    const int lineHeight = QFontMetrics(detail_->font()).height() * 3 / 2;
    detail_->setGeometry(0, scoringNumber_->geometry().bottom(), width(), lineHeight);
}

void ScoringView::paintEvent(QPaintEvent*) {
    cache_.paint(*this, [this](QPainter& painter) {
        // Read here, not kept: decoded, a full-screen picture is 8 MB held for a few seconds a song.
        if (const QImage background = backgroundFile_.isEmpty() ? QImage() : QImage(backgroundFile_);
            !background.isNull()) {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRectF(rect()), background);
            return;
        }
        // No picture given: a plain stage light.
        QRadialGradient light(rect().center(), std::max(width(), height()) * 0.7);
        light.setColorAt(0, QColor(0x3b, 0x1a, 0x6e));
        light.setColorAt(1, QColor(0x0b, 0x05, 0x18));
        painter.fillRect(rect(), light);
    });
}

void ScoringView::hideEvent(QHideEvent* event) {
    cache_.release();
    QWidget::hideEvent(event);
}

}  // namespace vocalis
