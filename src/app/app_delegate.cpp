#include "app/app_delegate.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <string>
#include <utility>

#include "app/engine_timers.h"
#include "app/equalizer_text.h"
#include "base/log.h"
#include "catalogue/catalogue_loader.h"

namespace vocalis {

using namespace std::chrono_literals;

AppDelegate::AppDelegate(EngineParts parts, EngineConfig config) : parts_(parts), config_(std::move(config)) {
    if (parts_.microphone && parts_.analysis && !config_.melodyFolder.empty())
        melodies_.emplace(parts_.background, parts_.scheduler, *parts_.analysis, config_.melodyFolder,
                          [this](std::int32_t songId) { melodyMade(songId); });
}

AppDelegate::~AppDelegate() {
    for (const std::string_view key : timers::kAll) cancel(key);
}

void AppDelegate::schedule(std::string_view key, Millis delay, Task task) {
    parts_.scheduler.schedule(std::string(key), delay, std::move(task));
}

void AppDelegate::cancel(std::string_view key) { parts_.scheduler.cancel(std::string(key)); }

// ------------------------------------------------------------------ start-up and shutdown

void AppDelegate::awakeFromNib() {
    parts_.player.setDelegate(this);
    parts_.player.setEqualizerEnabled(true);
    parts_.preferences.registerDefaults(
        {{KEY_EQ, std::string(kDefaultEqualizer)}, {KEY_DEVICE_NAME, config_.loginName}});
    parts_.preferences.synchronize();
    applyStoredEqualizer();
    flags_.hasScoring = parts_.preferences.boolForKey(KEY_SCORING);
    showsPitchBand_ = parts_.preferences.boolForKey(KEY_PITCH_BAND);
    parts_.overlays.fadeNextView(0.0);
    parts_.overlays.setVolumeLevel(static_cast<int>(parts_.volume.systemVolume() * 10));
}

void AppDelegate::applicationDidFinishLaunching() {
    const bool hasScoring = flags_.hasScoring;
    flags_ = EngineFacts{};
    phase_ = Phase::Intro;
    flags_.hasScoring = hasScoring;
    flags_.isRandom = parts_.preferences.boolForKey(KEY_RANDOM);
    flags_.isFairTurns = config_.fairTurns || parts_.preferences.boolForKey(KEY_FAIR_TURNS);
    randomType_ = static_cast<std::int32_t>(parts_.preferences.integerForKey(KEY_RANDOM_TYPE));
    randomKeyword_ = parts_.preferences.stringForKey(KEY_RANDOM_KEYWORD);
    parts_.overlays.setMenusEnabled(false, false);
}

void AppDelegate::windowDidBecomeMain(Millis ago) {
    // Counted from the activation itself: the window is up while the rest of the player is
    // still being made.
    const auto fromActivation = [ago](Millis delay) { return std::max(Millis{0}, delay - ago); };
    if (!windowBecameMain_) {
        windowBecameMain_ = true;
        schedule(timers::kStartNextSong, fromActivation(1s), [this] { startNextSong(); });
        schedule(timers::kLoadLibrary, fromActivation(2s), [this] { loadLibrary(); });
    }
    schedule(timers::kForceFillVideo, fromActivation(500ms), [this] { forceFillVideo(); });
}

void AppDelegate::applicationWillTerminate() {
    if (terminated_) return;
    terminated_ = true;
    if (flags_.isRecordVideo) {
        flags_.isRecordVideo = false;
        parts_.recorder.stopRecording();
        parts_.recorder.stopCapture();
    }
    parts_.sockets.setDelegate(nullptr);
    parts_.sockets.stop();
    parts_.discovery.stop();
    // The song playing is kept where it got to; the next start begins it again from its start.
    keepPosition(true);
    historyEnds(SongEnding::kSkipped);
    // A melody being made would hold up the end of the run.
    if (melodies_) melodies_->stop();
    if (parts_.store) {
        // A change whose write waited for the end of its step: the loop that would run it is over.
        if (std::exchange(writeSoon_, false) || dirty_) writePlay();
        parts_.store->endRun([](const WriteError&) {});
    }
    parts_.player.setDelegate(nullptr);
    parts_.player.stop();
    parts_.player.setMedia(std::nullopt);
    parts_.thumbnails.unload();
}

void AppDelegate::loadLibrary() {
    if (loadingLibrary_ || flags_.isLibraryLoaded || terminated_) return;
    if (songsBeingMade_) {
        // A scan now would find none of them, or only some.
        libraryWaitsForSongs_ = true;
        return;
    }
    loadingLibrary_ = true;
    parts_.background.post([this] {
        const std::vector<std::string> folders =
            config_.songFolders ? config_.songFolders() : std::vector<std::string>{};
        if (folders.empty()) {
            parts_.scheduler.post([this] {
                loadingLibrary_ = false;
                parts_.overlays.setTitleText("Không tìm thấy ổ cứng chứa nhạc");
                parts_.overlays.setTitleVisible(true);
                schedule(timers::kLoadLibrary, 5s, [this] { loadLibrary(); });
            });
            return;
        }
        parts_.scheduler.post([this] {
            parts_.overlays.setTitleVisible(false);
            parts_.overlays.setTitleText("");
        });
        auto catalogue = loadCatalogue(folders);
        parts_.songs.addAll(catalogue);
        // The phones' copy of the text is the catalogue's own.
        parts_.sockets.initWithData(std::shared_ptr<const std::string>(catalogue, &catalogue->text),
                                    catalogue->md5);
        parts_.sockets.setDelegate(this);
        parts_.sockets.setIsPlaying(true);
        parts_.scheduler.post([this, catalogue, folders] { onLibraryLoaded(catalogue, folders); });
    });
}

void AppDelegate::songsBeingMade(int number, int total) {
    if (terminated_ || flags_.isLibraryLoaded) return;
    songsBeingMade_ = true;
    if (loadingLibrary_) return;  // a scan under way has the banner for its own outcome
    parts_.overlays.setTitleText("Đang tạo bài hát mẫu " + std::to_string(number) + "/" +
                                 std::to_string(total));
    parts_.overlays.setTitleVisible(true);
}

void AppDelegate::songsMade() {
    songsBeingMade_ = false;
    if (std::exchange(libraryWaitsForSongs_, false)) loadLibrary();
}

void AppDelegate::onLibraryLoaded(std::shared_ptr<const Catalogue> catalogue,
                                  std::vector<std::string> folders) {
    if (terminated_) return;
    if (parts_.songs.getCount() < 1) {
        loadingLibrary_ = false;
        parts_.overlays.setTitleText("Không tìm thấy bài hát");
        parts_.overlays.setTitleVisible(true);
        schedule(timers::kLoadLibrary, 5s, [this] { loadLibrary(); });
        return;
    }
    logParts("Catalogue loaded: ", catalogue->songs.size(), " songs, checksum ", catalogue->md5);
    folders_ = std::move(folders);
    identities_.clear();
    if (!parts_.store) return libraryReady();
    // The saved queue is back before the intro may end and the first song start.
    parts_.store->restore(catalogue, folders_, [this, alive = std::weak_ptr(alive_)](KeptPlay kept) {
        if (alive.expired() || terminated_) return;
        restorePlay(std::move(kept));
        libraryReady();
    });
}

void AppDelegate::libraryReady() {
    loadingLibrary_ = false;
    flags_.isLibraryLoaded = true;
    if (flags_.isRandom) parts_.songs.filterRandom(randomType_, randomKeyword_);
    parts_.overlays.setNextViewVisible(true);
    wantMelodies();  // of a queue restored from the last run
}

// The intro is over (its clip ended or failed, the catalogue loaded): phones may come in, menus work.
void AppDelegate::endIntro() {
    openPhoneServices();
    phase_ = Phase::Starting;
    parts_.overlays.setMenusEnabled(true, parts_.recorder.hasCamera());
}

void AppDelegate::openPhoneServices() {
    parts_.discovery.start(config_.discoveryPort);
    parts_.sockets.start(config_.remotePort);
}

// ------------------------------------------------------------------ settings

void AppDelegate::setRandom(bool isRandom, std::int32_t randomType, std::optional<std::string> keyword) {
    flags_.isRandom = isRandom;
    randomType_ = randomType;
    randomKeyword_ = std::move(keyword);
    if (!flags_.isRandom || !flags_.isLibraryLoaded) return;
    parts_.songs.filterRandom(randomType_, randomKeyword_);
    if (!isIntro() && parts_.songs.getRandomCount() >= 1 && parts_.songs.isQueueEmpty()) startNextSong();
}

void AppDelegate::setEqualizer(double preAmplification, const std::optional<std::vector<float>>& bands) {
    parts_.player.setPreAmplification(static_cast<float>(preAmplification));
    if (!bands) return;
    for (std::size_t band = 0; band < bands->size(); ++band)
        parts_.player.setAmplification((*bands)[band], static_cast<int>(band));
    parts_.preferences.setString(KEY_EQ, formatEqualizer(preAmplification, *bands));
}

void AppDelegate::applyStoredEqualizer() {
    const EqualizerValues values = parseEqualizer(parts_.preferences.stringForKey(KEY_EQ).value_or(""));
    setEqualizer(values.preAmplification, values.bands);
}

// ------------------------------------------------------------------ recording

std::string AppDelegate::generateRecordName() const {
    const Song* song = parts_.songs.getCurrentSong();
    std::string title = song ? std::string(song->title()) : std::string();
    // A slash would make the take a path into a folder that does not exist.
    for (char& c : title)
        if (c == '/') c = '-';
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y_%m_%d_%I_%M_%S", &local);
    return title + "-" + stamp;
}

void AppDelegate::record() {
    if (!parts_.recorder.hasCamera()) {
        showMessage("Không tìm thấy Camera");
        return;
    }
    if (parts_.songs.isQueueEmpty()) {
        showMessage("Vui lòng chọn bài hát để thu hình");
        return;
    }
    if (flags_.isLockRecord) return;
    flags_.isLockRecord = true;
    parts_.recorder.setPreviewVisible(true);
    if (flags_.isRecordVideo) {
        // The running take is thrown away, its file removed once the recorder has let go of it.
        parts_.recorder.discardRecording();
        flags_.isRecordVideo = false;
    }
    if (!parts_.recorder.isCapturing()) parts_.recorder.startCapture();
    recordName_ = generateRecordName();
    parts_.recorder.startRecording(config_.recordFolder + "/" + recordName_ + ".mp4");
    replay();
    flags_.isRecordVideo = true;
    schedule(timers::kUnlockRecord, 5s, [this] { flags_.isLockRecord = false; });
}

void AppDelegate::stopRecordingIfAny() {
    if (!flags_.isRecordVideo) return;
    flags_.isRecordVideo = false;
    parts_.recorder.stopRecording();
    parts_.recorder.stopCapture();
    parts_.recorder.setPreviewVisible(false);
}

// ------------------------------------------------------------------ news

void AppDelegate::queueChanged() {
    // A song that left the queue takes its name and key along; queued again, it is someone else's.
    std::erase_if(requests_, [this](const auto& entry) {
        const Song* song = parts_.songs.getSong(entry.first);
        return !song || !parts_.songs.queueContains(*song);
    });
    keepPlay();
    wantMelodies();
    announce([](EngineListener& listener) { listener.queueChanged(); });
}

}  // namespace vocalis
