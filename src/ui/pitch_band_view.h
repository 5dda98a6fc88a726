#pragma once

#include <QWidget>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "app/singing_microphone.h"
#include "audio/melody.h"
#include "ui/overlay_cache.h"

namespace vocalis {

// The pitch band at the bottom of the screen, as singing games draw it: the reference melody's notes
// as bars at their pitch scrolling from the right towards a "now" line, and the singer's pitch as a
// dot at that line with a trail of what was just sung. Notes are folded into the octave or two
// around the song's range, the singer's into the octave nearest the song's note. "Now" is the song
// frame of the latest frame heard, so the band moves only as the singing comes in, and is painted
// only then.
class PitchBandView final : public QWidget {
  public:
    static constexpr std::int64_t kAhead = 400;   // frames shown ahead of now: 4 s
    static constexpr std::int64_t kBehind = 100;  // and behind it, left of the "now" line

    explicit PitchBandView(QWidget* parent = nullptr);

    // None: hidden.
    void setReference(std::shared_ptr<const Melody> reference);
    void addSung(const std::vector<SungFrame>& frames);

    std::int64_t now() const { return now_; }
    // Where a note at a song frame is drawn, in the view's coordinates, folded into the band.
    QPointF pointOf(std::int64_t frame, float note) const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Bar {
        std::int64_t begin, end;  // song frames, end excluded
        float note;               // folded
    };
    float fold(float note) const;
    // A sung note in the octave nearest the song's note at that frame (or the band's middle).
    float foldSung(std::int64_t frame, float note) const;
    double xOf(std::int64_t frame) const;
    double yOf(float folded) const;
    void draw(QPainter& painter) const;

    std::shared_ptr<const Melody> reference_;
    std::vector<Bar> bars_;  // in song order
    float bottom_ = 48;      // the lowest note of the band (folded notes lie in [bottom_, bottom_ + span_))
    float span_ = 12;
    std::deque<SungFrame> sung_;  // the recent frames, folded, oldest first
    std::int64_t now_ = 0;
    OverlayCache cache_;
};

}  // namespace vocalis
