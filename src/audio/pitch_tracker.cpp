#include "audio/pitch_tracker.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <stdexcept>

#include "audio/melody.h"

namespace vocalis {

struct PitchTracker::Aubio {
    aubio_pitch_t* pitch = nullptr;
    fvec_t* in = nullptr;
    fvec_t* out = nullptr;
    std::size_t filled = 0;

    Aubio() {
        pitch = new_aubio_pitch("yinfast", kWindow, kHop, kRate);
        in = new_fvec(kHop);
        out = new_fvec(1);
        if (!pitch || !in || !out) {
            release();
            throw std::runtime_error("aubio: cannot make a pitch detector");
        }
        aubio_pitch_set_unit(pitch, "Hz");
    }
    ~Aubio() { release(); }
    Aubio(const Aubio&) = delete;
    Aubio& operator=(const Aubio&) = delete;

    void release() {
        if (pitch) del_aubio_pitch(pitch);
        if (in) del_fvec(in);
        if (out) del_fvec(out);
        pitch = nullptr;
        in = out = nullptr;
    }
};

PitchTracker::PitchTracker() : aubio_(std::make_unique<Aubio>()) { setSilence(silence_); }

PitchTracker::~PitchTracker() = default;

void PitchTracker::setSilence(float decibels) {
    silence_ = decibels;
    aubio_pitch_set_silence(aubio_->pitch, decibels);
}

void PitchTracker::push(std::span<const float> mono, std::vector<Frame>& out) {
    Aubio& a = *aubio_;
    while (!mono.empty()) {
        std::size_t n = std::min<std::size_t>(mono.size(), kHop - a.filled);
        std::copy_n(mono.begin(), n, a.in->data + a.filled);
        a.filled += n;
        mono = mono.subspan(n);
        if (a.filled < static_cast<std::size_t>(kHop)) break;
        a.filled = 0;
        aubio_pitch_do(a.pitch, a.in, a.out);
        Frame frame;
        frame.confidence = aubio_pitch_get_confidence(a.pitch);
        float hertz = a.out->data[0];
        if (hertz > 0 && frame.confidence >= minConfidence_) frame.note = noteOfFrequency(hertz);
        out.push_back(frame);
    }
}

void PitchTracker::reset() {
    aubio_ = std::make_unique<Aubio>();
    setSilence(silence_);
}

}  // namespace vocalis
