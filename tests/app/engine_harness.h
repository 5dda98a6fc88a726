#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/phone_news.h"
#include "app/written_play_store.h"
#include "base/virtual_scheduler.h"
#include "remote/phone_client.h"
#include "remote/wire_protocol.h"
#include "support/eventually.h"
#include "support/temp_dir.h"

namespace vocalis::testing {

// A player that does what the engine asks and reports the events a test scripts, through the
// scheduler as real player events come.
class ScriptedPlayer final : public MediaPlayer {
  public:
    explicit ScriptedPlayer(Scheduler& scheduler) : scheduler_(scheduler) {}
    void setDelegate(MediaPlayerDelegate* delegate) override { delegate_ = delegate; }
    void setEqualizerEnabled(bool enabled) override { equalizerEnabled = enabled; }
    void setPreAmplification(float decibels) override { preAmplification = decibels; }
    void setAmplification(float decibels, int band) override { bands.at(std::size_t(band)) = decibels; }
    void setMedia(std::optional<Media> next) override {
        if (media) lastPosition_ = position_, lastVideo_ = video_;
        media = std::move(next);
        playing_ = ended_ = false;
        position_ = 0, time_ = 0;
        state_ = PlayerState::Stopped;
        remaining_.reset();
        video_ = 1;
        if (media)
            opened.push_back(media->location + (media->options.empty() ? "" : " " + media->options[0]));
    }
    bool hasMedia() const override { return media.has_value(); }
    void play() override {
        if (media) playing_ = true, change(PlayerState::Playing);
    }
    void pause() override { playing_ = ended_ = false, change(PlayerState::Paused); }
    void stop() override { playing_ = false; }
    bool isPlaying() const override { return playing_; }
    PlayerState state() const override { return state_; }
    bool hasEnded() const override { return media && ended_; }
    float position() const override { return media ? position_ : lastPosition_; }
    int videoTrackCount() const override { return media ? video_ : lastVideo_; }
    std::int64_t time() const override { return time_; }
    std::optional<std::int64_t> remainingTime() const override { return remaining_; }
    std::optional<std::int64_t> length() const override { return std::nullopt; }
    std::vector<int> audioTrackIndexes() const override { return trackIds; }
    int currentAudioTrackIndex() const override { return track; }
    void setCurrentAudioTrackIndex(int index) override { track = index; }
    void setKeyShift(int semitones) override { keyShifts.push_back(semitones); }
    void setCentreCancel(bool enabled) override { centreCancels.push_back(enabled); }

    void reachEnd() { position_ = 1, playing_ = false, ended_ = true, change(PlayerState::Paused); }
    // Having played leaves a position; not having played leaves no picture either.
    void fail(bool played) {
        if (played)
            position_ = 0.4f;
        else
            video_ = 0;
        playing_ = false, change(PlayerState::Error);
    }
    void timeLeft(std::int64_t milliseconds, std::int64_t played = 0) {
        remaining_ = -milliseconds, time_ = played;
        scheduler_.post([this] { delegate_ ? delegate_->mediaPlayerTimeChanged() : void(); });
    }
    std::string location() const { return media ? media->location : std::string(); }

    std::optional<Media> media;
    std::vector<std::string> opened;
    bool equalizerEnabled = false;
    float preAmplification = -99;
    std::vector<float> bands = std::vector<float>(10, -99);
    std::vector<int> trackIds{-1, 1, 2};
    int track = 2;
    std::vector<int> keyShifts;  // every call, in order
    std::vector<bool> centreCancels;

  private:
    void change(PlayerState state) {
        state_ = state;
        scheduler_.post([this] { delegate_ ? delegate_->mediaPlayerStateChanged() : void(); });
    }
    Scheduler& scheduler_;
    MediaPlayerDelegate* delegate_ = nullptr;
    PlayerState state_ = PlayerState::Stopped;
    bool playing_ = false, ended_ = false;
    float position_ = 0, lastPosition_ = 0;
    std::int64_t time_ = 0;
    int video_ = 1, lastVideo_ = 0;
    std::optional<std::int64_t> remaining_;
};

// The screen as the engine leaves it.
struct RecordingOverlays final : Overlays {
    void setTitleText(const std::string& text) override { title = text, titles.push_back(text); }
    void setTitleVisible(bool visible) override { titleVisible = visible; }
    void setNextViewVisible(bool visible) override { nextVisible = visible; }
    void fadeNextView(double alpha) override { nextAlpha = alpha; }
    void setNextContent(const std::optional<ImageBytes>& image, const std::string& label,
                        const std::string& title, const std::string& singer) override {
        nextImage = image, nextLabel = label, nextTitle = title + "|" + singer;
    }
    void setMessageText(const std::string& text) override { message = text; }
    void setMessageVisible(bool visible) override { messageVisible = visible; }
    bool setPicture(const ImageBytes& image) override {
        if (image.size() < 4 || image[0] != 0x89) return false;  // only PNG signatures "decode" here
        return picture = image, true;
    }
    void setPictureVisible(bool visible) override { pictureVisible = visible; }
    void setBlackCoverVisible(bool visible) override { blackCover = visible; }
    void setVolumeLevel(int level) override { volumeLevel = level; }
    void setVolumeVisible(bool visible) override { volumeVisible = visible; }
    void setScoreNumber(int score) override { scores.push_back(score); }
    void setScoreDetail(const std::string& line) override { scoreDetail = line; }
    void setScoreVisible(bool visible) override { scoreVisible = visible; }
    void setPitchBand(std::shared_ptr<const Melody> reference) override {
        pitchReference = std::move(reference);
    }
    void addSungPitches(const std::vector<SungFrame>& frames) override { sungBatches.push_back(frames); }
    void nudgeVideo() override {}
    void setMenusEnabled(bool enabled, bool record) override { menus = enabled, recordMenu = record; }

    std::string title, message, nextLabel, nextTitle, scoreDetail;
    std::vector<std::string> titles;  // every title text, in order
    bool titleVisible = false, nextVisible = false, messageVisible = false, pictureVisible = false;
    bool blackCover = false, volumeVisible = false, scoreVisible = false, menus = false, recordMenu = false;
    double nextAlpha = -1;
    std::optional<ImageBytes> nextImage;
    ImageBytes picture;
    int volumeLevel = -1;
    std::vector<int> scores;
    std::shared_ptr<const Melody> pitchReference;  // the pitch band's; none: hidden
    std::vector<std::vector<SungFrame>> sungBatches;
};

// A sound card's volume control, which the test machine lacks: muting leaves the setting as it was.
struct MixerVolume final : SystemVolume {
    float systemVolume() override { return volume; }
    void setSystemVolume(float value) override {
        value = std::clamp(value, 0.0f, 1.0f);
        muted = value < 0.005f;
        if (!muted) volume = value;
    }
    float volume = 0.5f;
    bool muted = false;
};

struct CountingSound final : ScoreSound {
    bool play() override { return ++plays, true; }
    void stop() override { ++stops; }
    int plays = 0, stops = 0;
};

// Everything the engine works with, real where it can be: catalogue, phone server, discovery,
// thumbnails, background queue; scripted where time or hardware is involved.
class EngineHarness {
  public:
    // A recorder given here films instead of the camera-less default; with a store folder the
    // engine keeps what plays in the real store there; with a microphone (made for the engine's
    // thread) it measures the singing, through the analysis module built beside the tests or
    // the one named here.
    explicit EngineHarness(
        std::vector<std::string> songFiles, std::string thumbnailTool = "false", Recorder* recorder = nullptr,
        const std::string& storeFolder = {},
        const std::function<SingingMicrophone*(Scheduler&, AnalysisModule&)>& microphone = {},
        const std::filesystem::path& analysisModule = AnalysisModule::besideProgram())
        : analysis(analysisModule) {
        if (!storeFolder.empty()) {
            writer.emplace(std::move(*Store::open(storeFolder).store), clock);
            kept.emplace(*writer);
        }
        for (const auto& file : songFiles) songsDir.write("Karaoke/" + file);
        foldersFound = {songsDir / "Karaoke"};
        EngineConfig config;
        config.introURL = [] { return std::string("http://127.0.0.1:1/intro.mp4"); };
        config.idleURL = [] { return std::string("http://127.0.0.1:1/idle.mp4"); };
        config.songURL = [](std::int32_t id) { return "http://127.0.0.1:1/" + std::to_string(id); };
        // As on a real machine, a folder that is not there is not offered for a scan.
        config.songFolders = [this] {
            std::vector<std::string> found;
            for (const auto& folder : foldersFound)
                if (std::filesystem::is_directory(folder)) found.push_back(folder);
            return found;
        };
        config.thumbnailFolder = songsDir / "thumbnail";
        config.thumbnailTool = std::move(thumbnailTool);
        config.recordFolder = songsDir / "record";
        config.melodyFolder = songsDir / "melodies";
        config.loginName = "ca";
        config.remotePort = config.discoveryPort = 0;
        engine = std::make_unique<AppDelegate>(
            EngineParts{clock, preferences, songs, sockets, discovery, thumbnails, player, overlays, volume,
                        recorder ? *recorder : camera, sound, background, kept ? &*kept : nullptr,
                        microphone ? microphone(clock, analysis) : nullptr, &analysis},
            std::move(config));
        engine->addListener(&phoneNews);
    }
    ~EngineHarness() {
        engine->applicationWillTerminate();
        background.join();
    }

    // Start-up as the window does it.
    void launch() {
        engine->awakeFromNib();
        engine->applicationDidFinishLaunching();
        engine->windowDidBecomeMain(Millis{0});
    }
    // Lets background work (the catalogue scan, thumbnails) finish and its results land.
    template <typename Condition>
    bool settle(Condition done) {
        return eventually([&] { return clock.runPending(), done(); });
    }
    bool loaded() {
        return settle([&] { return engine->flags().isLibraryLoaded; });
    }
    // Launches and plays the intro to its end with the catalogue loaded: services open.
    void launchToFirstSong() {
        launch();
        clock.advance(Millis(2000));
        ASSERT_TRUE(loaded());
        clock.advance(Millis(4000));  // the intro plays on
        end();
        ASSERT_FALSE(engine->flags().isIntro);
    }
    void end() {
        player.reachEnd();
        clock.runPending();
    }
    std::int32_t idOf(const std::string& title) {
        for (const auto& song : songs.catalogue()->songs)
            if (song.title() == title) return song.songId;
        ADD_FAILURE() << "no song " << title;
        return -1;
    }
    // A phone command as the phone server hands it over, landed.
    template <typename... Params, typename... Args>
    void remote(void (AppDelegate::*command)(Params...), Args&&... args) {
        ((*engine).*command)(std::forward<Args>(args)...);
        clock.runPending();
    }
    void add(const std::string& title) { remote(&AppDelegate::onRemoteRes, idOf(title)); }
    // A phone's skip once the lock of the last start is over.
    void skip() {
        clock.advance(Millis(2000));
        remote(&AppDelegate::onRemoteNext);
    }
    void run(Command command) {
        engine->issue(std::move(command), CommandSource::Phone);
        clock.runPending();
    }
    std::string song(const std::string& file) { return songsDir / ("Karaoke/" + file); }
    // The phase, the file that plays and each overlay on screen, in one line.
    std::string screen() const {
        const auto f = engine->flags();
        std::string s = f.isIntro     ? "intro"
                        : f.isIdle    ? "idle"
                        : f.isScoring ? "score"
                        : f.isError   ? "error"
                                      : "song";
        if (player.media) s += " " + player.location().substr(player.location().rfind('/') + 1);
        if (overlays.titleVisible) s += " | " + overlays.title;
        if (overlays.nextAlpha > 0) s += " | " + overlays.nextLabel + ": " + overlays.nextTitle;
        if (overlays.messageVisible) s += " | message " + overlays.message;
        if (overlays.pictureVisible) s += " | picture";
        if (overlays.blackCover) s += " | black";
        if (overlays.volumeVisible) s += " | volume " + std::to_string(overlays.volumeLevel);
        if (overlays.scoreVisible) s += " | score " + std::to_string(overlays.scores.back());
        if (overlays.scoreVisible && !overlays.scoreDetail.empty()) s += " (" + overlays.scoreDetail + ")";
        return s;
    }

    TempDir songsDir;
    std::vector<std::string> foldersFound;
    VirtualScheduler clock;
    MemoryPreferences preferences;
    SongManager songs;
    SocketManager sockets{songs};
    DiscoveryResponder discovery{preferences};
    ThumbnailManager thumbnails{songs};
    ScriptedPlayer player{clock};
    RecordingOverlays overlays;
    MixerVolume volume;
    NoCamera camera;
    CountingSound sound;
    AnalysisModule analysis;  // outlives the melodies made on the background queue
    BackgroundQueue background{2};
    PhoneNews phoneNews{sockets};
    std::unique_ptr<AppDelegate> engine;
    // Gone first: the writer finishes what the engine asked for, its store let go of.
    std::optional<StoreWriter> writer;
    std::optional<WrittenPlayStore> kept;
};

// A phone connected to the engine's phone server that collects what it is told.
struct WatchingPhone {
    explicit WatchingPhone(std::uint16_t port) {
        EXPECT_TRUE(client.connect("127.0.0.1", port, std::chrono::seconds(5))) << client.error();
        // Once a query is answered the server has taken the connection in: no later news can miss it.
        EXPECT_TRUE(client.send(wire::action(wire::kChecksumRequest), std::chrono::seconds(5)));
        EXPECT_TRUE(client.receive(wire::kChecksumMessage, std::chrono::seconds(5)).has_value());
    }
    // The next message with that code (news arrives in order); a failure when none comes.
    PlayerMessage next(std::uint8_t code) {
        auto message = client.receive(code, std::chrono::seconds(5));
        if (!message) ADD_FAILURE() << "no message " << int(code);
        return message.value_or(PlayerMessage{});
    }
    std::int32_t value(std::uint8_t code) { return next(code).value; }
    // True when nothing at all arrives for a short while.
    bool quiet() { return !client.receive(std::chrono::milliseconds(300)).has_value(); }
    void drain() {
        while (!quiet()) {
        }
    }
    PhoneClient client;
};

}  // namespace vocalis::testing
