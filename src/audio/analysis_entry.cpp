// The analysis module's one exported function: the table the player reaches FFmpeg and aubio
// through (audio/analysis_module.h).
#include <exception>

#include "audio/analysis_module.h"
#include "audio/pitch_tracker.h"
#include "audio/reference_melody.h"

namespace vocalis {
namespace {

class ModulePitchTracker final : public LivePitchTracker {
  public:
    void push(std::span<const float> mono, std::vector<PitchTracker::Frame>& out) override {
        tracker_.push(mono, out);
    }
    void reset() override { tracker_.reset(); }

  private:
    PitchTracker tracker_;
};

std::unique_ptr<LivePitchTracker> pitchTracker() {
    try {
        return std::make_unique<ModulePitchTracker>();
    } catch (const std::exception&) {
        return nullptr;
    }
}

constexpr AnalysisFunctions kFunctions{kAnalysisMagic, kAnalysisVersion, &makeReferenceMelody, &pitchTracker};

}  // namespace
}  // namespace vocalis

extern "C" __attribute__((visibility("default"))) const vocalis::AnalysisFunctions*
vocalis_analysis_functions() {
    return &vocalis::kFunctions;
}
