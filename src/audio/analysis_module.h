#pragma once

// The sound analysis that needs FFmpeg and aubio (a song's reference melody, the live pitch of the
// singing) lives in a module of our own, libvocalis_analysis.so, which the player loads the first
// time it makes a melody or hears the microphone. Those libraries bring some ninety more with them:
// a player that never scores the singing maps none of them.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "audio/melody.h"
#include "audio/pitch_tracker.h"

namespace vocalis {

// The pitch of the singing, frame by frame, as PitchTracker tracks it inside the module.
class LivePitchTracker {
  public:
    virtual ~LivePitchTracker() = default;
    // Takes any number of samples (mono, PitchTracker::kRate); appends one frame per whole hop.
    virtual void push(std::span<const float> mono, std::vector<PitchTracker::Frame>& out) = 0;
    // Forgets the sound so far (a new song).
    virtual void reset() = 0;
};

// What the module offers: one table, found by its one exported function.
struct AnalysisFunctions {
    std::uint32_t magic;
    std::uint32_t version;
    // makeReferenceMelody (audio/reference_melody.h).
    Melody (*makeReferenceMelody)(const std::filesystem::path& song, const std::atomic<bool>* cancel);
    // A new tracker; null when aubio cannot make one.
    std::unique_ptr<LivePitchTracker> (*makePitchTracker)();
};

// Checked before the table is trusted: a module left from another build is refused.
constexpr std::uint32_t kAnalysisMagic = 0x564f4341;  // "VOCA"
constexpr std::uint32_t kAnalysisVersion = 1;
// The exported function: extern "C" const AnalysisFunctions* vocalis_analysis_functions().
constexpr const char* kAnalysisEntry = "vocalis_analysis_functions";
constexpr const char* kAnalysisFileName = "libvocalis_analysis.so";

// The module, loaded the first time it is asked for. Its code stays mapped once loaded, until the
// process ends: trackers and melodies under way may still be running in it when this goes.
class AnalysisModule {
  public:
    // ../lib/vocalis/libvocalis_analysis.so from the program's bin folder (the build tree and an
    // install alike).
    static std::filesystem::path besideProgram();

    explicit AnalysisModule(std::filesystem::path file);
    AnalysisModule(const AnalysisModule&) = delete;
    AnalysisModule& operator=(const AnalysisModule&) = delete;

    // The module's table, loaded on the first call (any thread; loading takes a moment, so never
    // the window's). Null when it cannot be loaded: said once in the log, and not tried again.
    const AnalysisFunctions* functions();

  private:
    const AnalysisFunctions* load() const;

    const std::filesystem::path file_;
    std::once_flag loaded_;
    const AnalysisFunctions* functions_ = nullptr;
};

}  // namespace vocalis
