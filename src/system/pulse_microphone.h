#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "app/singing_microphone.h"
#include "base/scheduler.h"

namespace vocalis {

class AnalysisModule;

// The singers' microphone through libpulse (PulseAudio or PipeWire's Pulse server): a record
// stream of 16 kHz mono in 20 ms pieces on a thread of its own ("microphone"), where the pitch of
// each 10 ms is tracked, stamped with the song time it was sung at and compared with the song's
// melody. The stream records only while a song is listened to. A source that cannot be recorded
// is said once, and tried again at the next song. The pitch tracker comes from the analysis
// module, loaded on that thread when the microphone is first heard.
class PulseMicrophone final : public SingingMicrophone {
  public:
    struct Options {
        std::string server;  // a Pulse server address; empty: the usual one
        std::string source;  // a source's name; empty: the default source
        // How much later than the song's sound the singing reaches the microphone: taken off the
        // song time a sung frame is stamped with.
        std::chrono::milliseconds delay{0};
    };

    PulseMicrophone(Scheduler& engineThread, AnalysisModule& analysis, Options options);
    ~PulseMicrophone() override;
    PulseMicrophone(const PulseMicrophone&) = delete;
    PulseMicrophone& operator=(const PulseMicrophone&) = delete;

    void listen(std::shared_ptr<const Melody> melody, Totals totals, Pitches pitches = {}) override;
    void reference(std::shared_ptr<const Melody> melody) override;
    void songTime(std::int64_t milliseconds, bool playing) override;
    void stopListening() override;
    // A delay measured or typed since: frames sung from now on are stamped with it.
    void setDelay(std::chrono::milliseconds delay);

    struct Pulse;

  private:
    std::unique_ptr<Pulse> pulse_;
};

}  // namespace vocalis
