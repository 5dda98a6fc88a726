#include "ui/pitch_band_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace vocalis {

namespace {

const QColor kBackground(0, 0, 0, 140);
const QColor kBarAhead(80, 170, 255);
const QColor kBarPast(80, 170, 255, 110);
const QColor kNowLine(255, 255, 255, 200);
const QColor kTrail(255, 200, 40, 170);
const QColor kSungDot(255, 210, 40);

// The share of the view's width left of the "now" line: frames scroll at one speed on both sides.
constexpr double kNowShare =
    double(PitchBandView::kBehind) / double(PitchBandView::kAhead + PitchBandView::kBehind);

}  // namespace

PitchBandView::PitchBandView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void PitchBandView::setReference(std::shared_ptr<const Melody> reference) {
    reference_ = std::move(reference);
    bars_.clear();
    sung_.clear();
    now_ = 0;
    if (!reference_ || reference_->voicedFrames() == 0) {
        reference_.reset();
        hide();
        return;
    }
    // The song's range without its odd outliers: one octave when it fits, else two.
    std::vector<float> voiced;
    for (float note : reference_->notes)
        if (!std::isnan(note)) voiced.push_back(std::round(note));
    std::sort(voiced.begin(), voiced.end());
    const float low = voiced[voiced.size() / 20], high = voiced[voiced.size() - 1 - voiced.size() / 20];
    span_ = high - low < 12 ? 12 : 24;
    bottom_ = std::floor(low - (span_ - 1 - std::min(high - low, span_ - 1)) / 2);
    // A bar for each run of frames on one semitone.
    const auto& notes = reference_->notes;
    for (std::size_t i = 0; i < notes.size();) {
        if (std::isnan(notes[i])) {
            ++i;
            continue;
        }
        const float semitone = std::round(notes[i]);
        std::size_t end = i + 1;
        while (end < notes.size() && !std::isnan(notes[end]) && std::round(notes[end]) == semitone) ++end;
        bars_.push_back({std::int64_t(i), std::int64_t(end), fold(semitone)});
        i = end;
    }
    cache_.invalidate();
    show();
    update();
}

void PitchBandView::addSung(const std::vector<SungFrame>& frames) {
    if (!reference_ || frames.empty()) return;
    for (const SungFrame& frame : frames) {
        // A jump back (the song replayed from an earlier point) starts the trail again.
        if (frame.songFrame < now_) sung_.clear();
        now_ = frame.songFrame;
        sung_.push_back(
            {frame.songFrame, std::isnan(frame.note) ? frame.note : foldSung(frame.songFrame, frame.note)});
    }
    while (!sung_.empty() && sung_.front().songFrame < now_ - kBehind) sung_.pop_front();
    cache_.invalidate();
    update();
}

float PitchBandView::fold(float note) const {
    const float top = bottom_ + span_ - 0.5f;
    while (note < bottom_ - 0.5f) note += 12;
    while (note >= top) note -= 12;
    return note;
}

float PitchBandView::foldSung(std::int64_t frame, float note) const {
    const auto reference = frame >= 0 ? reference_->at(std::size_t(frame)) : std::nullopt;
    const float target = reference ? fold(std::round(*reference)) : bottom_ + span_ / 2;
    // The octave of the sung note nearest the target, kept on the band.
    const float nearest = note + 12 * std::round((target - note) / 12);
    return std::clamp(nearest, bottom_ - 0.5f, bottom_ + span_ - 0.5f);
}

double PitchBandView::xOf(std::int64_t frame) const {
    const double nowX = width() * kNowShare;
    return nowX + double(frame - now_) * (width() - nowX) / double(kAhead);
}

double PitchBandView::yOf(float folded) const {
    const double margin = height() * 0.1;
    const double step = (height() - 2 * margin) / span_;
    return height() - margin - (folded - bottom_ + 0.5) * step;
}

QPointF PitchBandView::pointOf(std::int64_t frame, float note) const { return {xOf(frame), yOf(fold(note))}; }

void PitchBandView::paintEvent(QPaintEvent*) {
    if (!reference_) return;
    cache_.paint(*this, [this](QPainter& painter) { draw(painter); });
}

void PitchBandView::draw(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing);
    const double radius = height() * 0.08;
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()), radius, radius);
    painter.fillPath(outline, kBackground);

    const double step = (height() * 0.8) / span_;
    // Neighbouring semitones may touch: a bar is for the eye, not a ruler.
    const double barHeight = std::max(3.0, std::max(step * 0.8, height() * 0.07));
    // Only the bars in sight: from the first that ends after the band's left edge.
    const auto first = std::partition_point(bars_.begin(), bars_.end(),
                                            [&](const Bar& bar) { return bar.end < now_ - kBehind; });
    for (auto bar = first; bar != bars_.end() && bar->begin <= now_ + kAhead; ++bar) {
        const QRectF shape(QPointF(xOf(bar->begin), yOf(bar->note) - barHeight / 2),
                           QPointF(xOf(bar->end), yOf(bar->note) + barHeight / 2));
        painter.setPen(Qt::NoPen);
        painter.setBrush(bar->end <= now_ ? kBarPast : kBarAhead);
        painter.drawRoundedRect(shape, barHeight / 3, barHeight / 3);
    }

    const double nowX = xOf(now_);
    painter.setPen(QPen(kNowLine, std::max(1.0, height() * 0.01)));
    painter.drawLine(QPointF(nowX, height() * 0.05), QPointF(nowX, height() * 0.95));

    painter.setPen(Qt::NoPen);
    painter.setBrush(kTrail);
    const double trail = std::max(1.5, barHeight * 0.35);
    for (const SungFrame& frame : sung_)
        if (!std::isnan(frame.note) && frame.songFrame < now_)
            painter.drawEllipse(QPointF(xOf(frame.songFrame), yOf(frame.note)), trail, trail);
    if (!sung_.empty() && !std::isnan(sung_.back().note)) {
        painter.setBrush(kSungDot);
        painter.setPen(QPen(Qt::white, std::max(1.0, barHeight * 0.12)));
        const double dot = std::max(barHeight * 0.9, height() * 0.05);
        painter.drawEllipse(QPointF(nowX, yOf(sung_.back().note)), dot, dot);
    }
}

}  // namespace vocalis
