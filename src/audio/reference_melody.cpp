#include "audio/reference_melody.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "audio/melody_cleanup.h"
#include "audio/melody_tracking.h"
#include "audio/mix_centre.h"
#include "audio/pitch_tracker.h"
#include "audio/track_decoder.h"
#include "audio/track_difference.h"

namespace vocalis {

namespace {

// A song's voice sings for a good part of it; less than this is the backing's leftovers.
constexpr double kLeastVoiced = 0.10;
// Where the voice sings it is most of the centre of the mix in its band; the bass, kick and snare
// left in the centre without it are a small part.
constexpr float kLeastCentreShare = 0.3f;

// Unvoices the frames where the centre is too small a part of the mix to be a voice.
void keepWhereCentreLeads(Melody& melody, const std::vector<float>& share) {
    if (share.empty()) return;
    for (std::size_t j = 0; j < melody.notes.size(); ++j) {
        const std::size_t middle = j * PitchTracker::kHop + PitchTracker::kHop / 2;
        const std::size_t step =
            std::min(share.size() - 1, (middle + MixCentre::kStep / 2) / MixCentre::kStep);
        if (share[step] < kLeastCentreShare) melody.notes[j] = NAN;
    }
}

bool cancelled(const std::atomic<bool>* cancel) { return cancel && cancel->load(std::memory_order_relaxed); }

}  // namespace

ReferenceOutcome makeReference(const std::filesystem::path& song, const std::atomic<bool>* cancel) {
    DecodedSong decoded = decodeSongSound(song, cancel);
    if (!decoded.sound) return {{}, decoded.problem};
    SongSound sound = std::move(*decoded.sound);
    if (cancelled(cancel)) return {{}, "cancelled"};

    std::vector<float> voice, centreShare;
    std::string source;
    switch (sound.layout) {
        case SongSound::Layout::kTwoTracks: {
            auto difference = trackDifference(sound.first, sound.second);
            if (!difference) return {{}, "its two tracks are not one song's backing"};
            voice = std::move(*difference);
            source = "two tracks";
            break;
        }
        case SongSound::Layout::kStereo: {
            MixCentre centre = mixCentre(sound.first, sound.second);
            voice = std::move(centre.sound), centreShare = std::move(centre.share);
            source = "centre of the mix";
            break;
        }
        case SongSound::Layout::kMono:
            return {{}, "one mono track: no voice to tell from the backing"};
    }
    sound = {};
    if (cancelled(cancel)) return {{}, "cancelled"};

    Melody melody = trackMelody(voice, cancel);
    if (cancelled(cancel)) return {{}, "cancelled"};
    keepWhereCentreLeads(melody, centreShare);
    cleanMelody(melody);
    const double voiced = melody.size() ? double(melody.voicedFrames()) / double(melody.size()) : 0.0;
    const std::string share = std::to_string(static_cast<int>(voiced * 100 + 0.5)) + " % sung";
    if (voiced < kLeastVoiced) return {{}, "no voice found (" + source + ", " + share + ")"};
    return {std::move(melody), source + ", " + share};
}

Melody makeReferenceMelody(const std::filesystem::path& song, const std::atomic<bool>* cancel) {
    return makeReference(song, cancel).melody;
}

}  // namespace vocalis
