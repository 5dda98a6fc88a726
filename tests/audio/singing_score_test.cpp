#include "audio/singing_score.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace vocalis {
namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

// A tune of `seconds`: notes of a major scale, a fifth or so either side of C4, each 200 to 600 ms,
// with a breath after every phrase of four.
Melody tune(unsigned seed, int seconds = 30) {
    std::mt19937 random(seed);
    const int scale[] = {0, 2, 4, 5, 7, 9, 11};
    const int lengths[] = {20, 30, 40, 60};
    Melody melody;
    int degree = 7;
    for (int note = 0; melody.size() < std::size_t(seconds) * 100; ++note) {
        degree = std::clamp(degree + int(random() % 5) - 2, 0, 13);
        const float pitch = 55.0f + float(12 * (degree / 7) + scale[degree % 7]);
        melody.notes.insert(melody.notes.end(), std::size_t(lengths[random() % 4]), pitch);
        if (note % 4 == 3) melody.notes.insert(melody.notes.end(), 15, kNone);
    }
    return melody;
}

// The frames a singer gives for `line`, as a pitch tracker hears them: a 5.5 Hz vibrato of a third of
// a semitone, every 37th frame lost, and the song clock stepping a frame ahead or behind now and then.
int sing(const Melody& reference, const Melody& line, int lateFrames = 0, std::size_t upTo = SIZE_MAX) {
    SingingScore score(std::make_shared<const Melody>(reference));
    for (std::size_t frame = 0; frame < std::min(line.size(), upTo); ++frame) {
        const float note = line.notes[frame] + 0.33f * std::sin(float(frame) * 0.345f);
        const bool lost = frame % 37 == 0 || std::isnan(note);
        const std::int64_t stamp =
            std::int64_t(frame) + lateFrames + (frame % 53 == 0 ? 1 : 0) - (frame % 71 == 0 ? 1 : 0);
        score.add(stamp, lost ? std::nullopt : std::optional(note));
    }
    return score.totals().score();
}

Melody changed(Melody melody, const std::function<float(float)>& change) {
    for (float& note : melody.notes) note = std::isnan(note) ? note : change(note);
    return melody;
}

TEST(SingingScore, SungLinesAgainstTheirMelody) {
    const Melody reference = tune(7);
    const Melody silence{std::vector<float>(reference.size(), kNone)};
    const struct {
        const char* line;
        Melody sung;
        int lateFrames, atLeast, atMost;
    } cases[] = {
        {"the melody in time", reference, 0, 90, 100},
        {"an octave lower", changed(reference, [](float n) { return n - 12; }), 0, 85, 100},
        {"120 ms late", reference, 12, 85, 100},
        {"90 ms early", reference, -9, 85, 100},
        {"a little flat", changed(reference, [](float n) { return n - 0.4f; }), 0, 80, 100},
        {"two semitones sharp", changed(reference, [](float n) { return n + 2; }), 0, 0, 35},
        {"silence", silence, 0, 0, 5},
        {"a different melody to the same rhythm", changed(reference, [](float n) { return 2 * n - 55; }), 0,
         0, 25},
    };
    for (const auto& [line, sung, late, atLeast, atMost] : cases) {
        const int score = sing(reference, sung, late);
        EXPECT_GE(score, atLeast) << line;
        EXPECT_LE(score, atMost) << line;
    }
    // Other tunes in the same key: a note of the scale is right by chance now and then (a seventh of
    // the time, whatever the octave), so one tune may do better than another; taken together, little.
    int others = 0;
    for (unsigned seed = 100; seed < 108; ++seed) others += sing(reference, tune(seed));
    EXPECT_LE(others / 8, 25) << "different melodies";
}

TEST(SingingScore, CountsWhatWasSungAsItComes) {
    const Melody reference = tune(3, 20);
    auto shared = std::make_shared<const Melody>(reference);
    SingingScore score(shared);
    EXPECT_FALSE(score.totals().measured());
    // The first half sung well, then the song skipped: scored on what played.
    const std::size_t half = reference.size() / 2;
    for (std::size_t frame = 0; frame < half; ++frame) score.add(std::int64_t(frame), reference.at(frame));
    SingingTotals sung = score.totals();
    EXPECT_EQ(sung.score(), 100);
    const Melody firstHalf{{reference.notes.begin(), reference.notes.begin() + std::ptrdiff_t(half)}};
    EXPECT_EQ(sung.referenceFrames, firstHalf.voicedFrames());
    // The second half not sung: the pitch stays what it was, the timing halves and so does the score.
    for (std::size_t frame = half; frame < reference.size(); ++frame)
        score.add(std::int64_t(frame), std::nullopt);
    const SingingTotals whole = score.totals();
    EXPECT_EQ(whole.referenceFrames, reference.voicedFrames());
    EXPECT_EQ(whole.pitchPercent(), 100);
    EXPECT_NEAR(whole.timingPercent(), 50, 3);
    EXPECT_NEAR(whole.score(), 50, 3);
    // A song resumed mid-way (after a crash), its player saying it was at its start for a moment:
    // what it did not play does not count.
    SingingScore resumed(shared);
    for (std::size_t frame = 0; frame < 30; ++frame) resumed.add(std::int64_t(frame), reference.at(frame));
    for (std::size_t frame = half; frame < reference.size(); ++frame)
        resumed.add(std::int64_t(frame), reference.at(frame));
    const Melody start{{reference.notes.begin(), reference.notes.begin() + 30}};
    EXPECT_EQ(resumed.totals().score(), 100);
    EXPECT_EQ(resumed.totals().referenceFrames,
              whole.referenceFrames - firstHalf.voicedFrames() + start.voicedFrames());
    // The melody made only after the song started: what was sung before counts just the same.
    SingingScore late(nullptr);
    for (std::size_t frame = 0; frame < half; ++frame) late.add(std::int64_t(frame), reference.at(frame));
    EXPECT_FALSE(late.totals().measured());
    late.setReference(shared);
    EXPECT_EQ(late.totals(), sung);
    for (std::size_t frame = half; frame < reference.size(); ++frame)
        late.add(std::int64_t(frame), std::nullopt);
    EXPECT_EQ(late.totals(), whole);
}

}  // namespace
}  // namespace vocalis
