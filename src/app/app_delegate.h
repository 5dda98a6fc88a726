#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/engine_control.h"
#include "app/engine_phase.h"
#include "app/media/media_player.h"
#include "app/overlays.h"
#include "app/play_store.h"
#include "app/recorder.h"
#include "app/reference_melodies.h"
#include "app/singing_microphone.h"
#include "app/system_volume.h"
#include "base/background_queue.h"
#include "base/preferences.h"
#include "base/scheduler.h"
#include "base/settings_keys.h"
#include "catalogue/song_manager.h"
#include "remote/discovery_responder.h"
#include "remote/remote_delegate.h"
#include "remote/socket_manager.h"
#include "thumbnails/thumbnail_manager.h"

namespace vocalis {

// What holds whatever the phase: the catalogue, the run's settings, the locks (each its own
// timer) and what the player plays with.
struct EngineFacts {
    bool isLibraryLoaded = false;
    bool isLockNext = false;
    bool isLockReplay = false;
    bool isLockSwitchTrack = false;
    bool isLockRecord = false;
    bool isNextShawn = false;
    bool isMusic = false;
    bool isUserPause = false;
    bool isRecordVideo = false;
    bool hasScoring = false;
    bool isRandom = false;
    bool isCreateThumbnail = false;
    bool isFairTurns = false;
};

// The engine's state as the views and tests read it: the facts and the phase as flags.
struct EngineFlags : EngineFacts {
    bool isIntro = true;
    bool isIdle = false;
    bool isScoring = false;
    bool isError = false;
};

// What the engine works with; main() makes the real ones, tests their own.
struct EngineParts {
    Scheduler& scheduler;
    Preferences& preferences;
    SongManager& songs;
    SocketManager& sockets;
    DiscoveryResponder& discovery;
    ThumbnailManager& thumbnails;
    MediaPlayer& player;
    Overlays& overlays;
    SystemVolume& volume;
    Recorder& recorder;
    ScoreSound& scoreSound;
    BackgroundQueue& background;
    // Where what plays and what was sung is kept; none: the run keeps it in memory only.
    PlayStore* store = nullptr;
    // What the guests sing into; none: every score is drawn at random.
    SingingMicrophone* microphone = nullptr;
    // What the songs' melodies are made with, for a microphone; none: no melody is made.
    AnalysisModule* analysis = nullptr;
};

struct EngineConfig {
    // The clips on the local media service (asked for when they are opened, so the service
    // may pick its port after the engine is made).
    std::function<std::string()> introURL;
    std::function<std::string()> idleURL;
    std::function<std::string(std::int32_t songId)> songURL;  // a ".vcv" song on the local media service
    std::function<std::vector<std::string>()> songFolders;    // the folders a catalogue load scans
    std::string thumbnailFolder;
    std::string thumbnailTool = "ffmpeg";
    std::string recordFolder;
    std::string melodyFolder;  // where the songs' melodies are kept once made, for their scores
    std::string loginName;     // the device name phones see until the operator names it
    std::uint16_t remotePort = 6789;
    std::uint16_t discoveryPort = 1122;
    bool fairTurns = false;  // on for this run, whatever is stored
};

// The application controller: start-up, song start and advance, player events, transport,
// scoring, and the phone commands. Everything runs on the main thread; phone commands
// arrive on the phone server's queue and are posted there.
class AppDelegate final : public RemoteDelegate, public MediaPlayerDelegate, public EngineControl {
  public:
    AppDelegate(EngineParts parts, EngineConfig config);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // --- the one way in for commands, from any thread, and the one way out for news
    void issue(Command command, CommandSource source) override;
    void addListener(EngineListener* listener) override;
    void removeListener(EngineListener* listener) override;
    void afterNews(std::function<void()> task) override;

    EngineFlags flags() const { return {flags_, isIntro(), isIdle(), isScoring(), isError()}; }
    Phase phase() const { return phase_; }
    bool isIntro() const { return phase_ == Phase::Intro || phase_ == Phase::IntroRetry; }
    bool isIdle() const { return phase_ == Phase::IdleClip; }
    bool isScoring() const { return phase_ == Phase::Score; }
    bool isError() const { return phase_ == Phase::Error || phase_ == Phase::IntroRetry; }
    const Song* randomSong() const { return randomSong_; }
    int score() const { return iScore_; }
    // The score the last score screen counts up to.
    const SongScore& finalScore() const { return finalScore_; }
    // Whether the song's melody is made, with a voice in it, and would be listened for: a
    // microphone and scoring on.
    bool measures(std::int32_t songId) const;
    std::int32_t randomType() const { return randomType_; }
    const std::optional<std::string>& randomKeyword() const { return randomKeyword_; }

    // --- start-up and shutdown
    void awakeFromNib();                            // the player, the stored equalizer and scoring
    void applicationDidFinishLaunching();           // flags and random-play settings
    void windowDidBecomeMain(Millis ago) override;  // first time: intro after 1 s, catalogue after 2 s
    void applicationWillTerminate();
    void loadLibrary();
    // Songs for this run are being made (the demo's first start): the catalogue load waits
    // for them, and the screen says which one is being made instead of "no drive".
    void songsBeingMade(int number, int total);
    // The making is over, whatever it made: a catalogue load that waited for it runs now.
    void songsMade();

    // --- song start and advance
    void startNextSong();
    void startNextSongAfterError();
    void onNext();
    void unlockNext();
    // Every change of the next-song lock goes through here, so front-ends hear of it.
    void setNextLock(bool locked);

    // --- player events
    void mediaPlayerStateChanged() override;
    void mediaPlayerTimeChanged() override;
    void handlePlaybackError();

    // --- transport
    void playPause(bool userPause);
    void pause(bool userPause);
    void play();
    bool isPlaying() const override;
    bool takesGuestCommands() const override { return !isIntro(); }
    std::optional<std::string> requesterName(std::int32_t songId) const override;
    std::int32_t songKey(std::int32_t songId) const override;
    bool fairTurns() const override { return flags_.isFairTurns; }
    void replay();
    void switchAudioTrack();
    void volumeUp();
    void volumeDown();

    // --- overlays
    void showMessage(const std::string& text);
    void fillVideo();
    void forceFillVideo();

    // --- scoring
    void scoringAndNextSong();
    void runScore();
    void scoreNext();

    // --- settings and equalizer
    void setHasScoring(bool value) override;
    void setShowsPitchBand(bool value) override;
    void setRandom(bool isRandom, std::int32_t randomType, std::optional<std::string> keyword) override;
    // Applies the gains (band i gets bands[i]) and stores them; without bands only the
    // pre-amplification is applied and nothing is stored.
    void setEqualizer(double preAmplification, const std::optional<std::vector<float>>& bands) override;
    bool isLibraryLoaded() const override { return flags_.isLibraryLoaded; }
    ThumbnailTool thumbnailTool() const override { return {config_.thumbnailTool, config_.thumbnailFolder}; }
    void setIsCreateThumbnail(bool value) override { flags_.isCreateThumbnail = value; }

    // --- recording
    void record();

    // --- phone commands (called on the phone server's queue)
    void onRemotePlayPause(bool play) override;
    void onRemoteNext() override;
    void onRemoteReplay() override;
    void onRemoteSwitchAudioTrack() override;
    void onRemoteRes(std::int32_t songId) override;
    void onRemoteRes1st(std::int32_t songId) override;
    void onRemoteVolumeUp() override;
    void onRemoteVolumeDown() override;
    void onRemoteQueueRemove(std::int32_t position) override;
    void onRemoteQueueMoveUp(std::int32_t position) override;
    void onRemoteQueueMoveFirst(std::int32_t position) override;
    void onRemoteQueueRequesterName(std::int32_t songId, std::string name) override;
    void onRemoteSendMessage(std::string text) override;
    void onRemoteSendPicture(std::vector<std::uint8_t> image) override;
    void onRemoteRecord() override;

    // The add-song operation behind commands 2 and 3 and the selection window; `name` is
    // who asked for it (empty: nobody said), `key` the key it is to be sung in.
    void addSong(std::int32_t songId, bool first, const std::string& name, std::int32_t key = 0);

  private:
    // The intro is over with the catalogue loaded: the queue's head is what plays.
    bool isOpen() const { return !isIntro() && flags_.isLibraryLoaded; }
    // The intro may end: the catalogue is there for what comes after it.
    bool canEndIntro() const { return isIntro() && flags_.isLibraryLoaded; }
    // The score screen or a failure has the screen: nothing new starts, guests wait.
    bool isScreenHeld() const { return isScoring() || isError(); }
    void execute(const Command& command, CommandSource source);
    void perform(const Command& command, CommandSource source);
    void showGuestMessage(const std::string& text);
    void setRequesterName(std::int32_t songId, const std::string& name);
    // Fair turns: the queue index for a new song of that name, and a named song put there anew.
    std::int32_t fairIndex(const std::string& name) const;
    void placeFairly(const Song& song);
    void setSongKey(std::int32_t songId, std::int32_t key);
    void stepKey(std::int32_t semitones);
    bool isSongPlaying() const;
    static std::string keyLabel(std::int32_t key);  // "Tông +2"
    // The sound each media starts with: its key, and the voice kept.
    void prepareSound(std::int32_t key);
    // A one-track song's backing is its only track with the centre of the mix cancelled.
    void matchCentreCancel();
    void setCentreCancel(bool enabled);
    // A label followed by who asked for the song, when someone said.
    std::string withRequester(const std::string& label, const Song& song) const;
    // News of a change waits until the change is on disk, and later news waits behind it.
    template <typename News>
    void announce(News news) {
        if (pendingWrite_ > writesDone_)
            held_.push_back({pendingWrite_, [this, news] { tell(news); }});
        else
            tell(news);
    }
    template <typename News>
    void tell(News news) {
        // A copy: a listener may go (a window closing) while it is told.
        const std::vector<EngineListener*> listeners = listeners_;
        for (EngineListener* listener : listeners) news(*listener);
    }
    void startNext(bool afterError);
    void showSongTitle(const Song& song);
    void announceCurrentSong(std::int32_t songId);
    void announcePlaying();
    void openAndPlay(const Song& song, std::int64_t fromMs = 0);
    void openClip(const std::string& url);
    void stopRecordingIfAny();
    void removeFinishedSong();
    void queueChanged();
    void endIntro();
    void openPhoneServices();
    void upNextCheck();
    void showNextPanel(const std::optional<ImageBytes>& image, const Song& song, const std::string& label);
    void showPicture(const std::vector<std::uint8_t>& image);
    void hideTitle();
    void hideMessage();
    void hidePicture();
    void retryIntro();
    void onLibraryLoaded(std::shared_ptr<const Catalogue> catalogue, std::vector<std::string> folders);
    void libraryReady();
    // --- what plays, kept in the store (kept_play.cpp)
    void restorePlay(KeptPlay kept);
    // What plays has changed: written whole, and the news from now on waits for that write.
    void keepPlay();
    void writePlay();
    void playWritten(std::uint64_t number, const WriteError& error);
    void noteWrite(const WriteError& error);
    PlayStore::Done notedWrite();  // noteWrite for as long as the engine lives
    PlayState playState();
    const SongIdentity& identity(const Song& song);
    void keepPosition(bool always);
    // Where the queue's head starts: a little before where the last run was killed in it, else 0.
    std::int64_t resumeStart();
    void historyStarts(const Song& song);
    void historyEnds(SongEnding ending, std::optional<SongScore> score = std::nullopt);
    // --- the measured score (singing.cpp)
    // The melodies of the songs queued now are wanted, when the singing is to be scored.
    void wantMelodies();
    // A queued song starts: the microphone listens to it, with its melody when that is ready.
    void listenToSinging(const Song& song);
    // A melody made: the song listened to without one is scored from then on.
    void melodyMade(std::int32_t songId);
    void tellSongTime();
    // Listening ends: what was measured of the song, if anything.
    std::optional<SingingTotals> endListening();
    // The next step of the score screen's count, or its wait once the count is done.
    void countScore();
    void clearQueue();
    void applyStoredEqualizer();
    std::string generateRecordName() const;
    // Every timer of the engine goes through these, by its key in engine_timers.h.
    void schedule(std::string_view key, Millis delay, Task task);
    void cancel(std::string_view key);

    EngineParts parts_;
    EngineConfig config_;
    Phase phase_ = Phase::Intro;
    EngineFacts flags_;
    bool windowBecameMain_ = false;
    bool loadingLibrary_ = false;
    bool songsBeingMade_ = false;
    bool libraryWaitsForSongs_ = false;
    bool terminated_ = false;
    const Song* randomSong_ = nullptr;
    std::optional<std::int32_t> lengthFor_;  // the song whose length the front-ends wait for
    std::int32_t randomType_ = 0;
    std::optional<std::string> randomKeyword_;
    int iScore_ = 0;
    SongScore finalScore_;
    std::optional<ReferenceMelodies> melodies_;  // with a microphone
    bool listening_ = false;                     // to the song playing
    std::int32_t listenedSong_ = -1;
    std::uint64_t listens_ = 0;                  // songs listened to, so late totals of one are known
    std::optional<SingingTotals> sung_;          // the totals so far of the song listened to
    std::shared_ptr<const Melody> heardMelody_;  // the melody of the song listened to
    bool showsPitchBand_ = false;
    bool bandShown_ = false;  // the pitch band shows the song listened to
    std::string recordName_;
    std::vector<EngineListener*> listeners_;
    // What was asked with a queued song, by song id; it leaves with the song.
    struct Request {
        std::string name;  // empty: nobody said
        std::int32_t key = 0;
        bool placedByHand = false;  // put first or moved: fair turns leave it there
    };
    std::map<std::int32_t, Request> requests_;
    std::int32_t currentKey_ = 0;  // the key the player plays in now
    bool centreCancel_ = false;
    std::mt19937 random_{std::random_device{}()};

    // What plays, kept: the folders the catalogue was scanned from and each song's stored form.
    std::vector<std::string> folders_;
    std::map<std::int32_t, SongIdentity> identities_;
    bool playKept_ = false;  // restored: from now on changes are written
    bool writing_ = false;
    bool dirty_ = false;                            // changed since the write under way began
    bool writeSoon_ = false;                        // a write is to start once this step is over
    std::deque<std::function<void()>> afterWrite_;  // commands (and acknowledgements) waiting for it
    std::uint64_t writesStarted_ = 0, writesDone_ = 0;
    std::uint64_t pendingWrite_ = 0;  // the write that news announced now waits for
    struct HeldNews {
        std::uint64_t write;
        std::function<void()> tell;
    };
    std::deque<HeldNews> held_;
    bool storeFailing_ = false;
    // A song the last run was killed in: where it had got to, until it starts again.
    std::optional<std::int64_t> resumeFrom_;
    std::int64_t savedPosition_ = 0;
    bool historyOpen_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace vocalis
