// vocalis-player: the karaoke player. Wires the real parts together and runs start-up and
// shutdown in their order.
#include <QtGui/qguiapplication_platform.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <iostream>

#include "app/app_delegate.h"
#include "app/guest_records.h"
#include "app/media/vlc_media_player.h"
#include "app/phone_news.h"
#include "app/written_play_store.h"
#include "audio/analysis_module.h"
#include "base/background_queue.h"
#include "base/log.h"
#include "base/paths.h"
#include "catalogue/karaoke_paths.h"
#include "player/data_folder.h"
#include "player/demo_start.h"
#include "player/player_options.h"
#include "player/resources.h"
#include "remote/media_service.h"
#include "store/store.h"
#include "store/store_writer.h"
#include "system/camera/camera_recorder.h"
#include "system/microphone_delay.h"
#include "system/mpris/mpris_player.h"
#include "system/pulse_microphone.h"
#include "system/pulse_system_volume.h"
#include "system/screen_awake.h"
#include "system/sound_sources.h"
#include "thumbnails/thumbnail_server.h"
#include "ui/camera_preview_view.h"
#include "ui/main_window.h"
#include "ui/operator_windows.h"
#include "ui/qr_code_view.h"
#include "ui/qt_scheduler.h"
#include "ui/screen_view.h"
#include "ui/settings_preferences.h"
#include "ui/vlc_score_sound.h"
#include "web/web_address.h"
#include "web/web_remote.h"

using namespace vocalis;

namespace {

// SIGINT and SIGTERM end the player like closing its window: through the event loop, so
// shutdown runs in order.
int signalPipe[2] = {-1, -1};

constexpr std::chrono::milliseconds kActivationWait{250};

void onSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

std::string loginName() {
    if (const char* user = std::getenv("USER"); user && *user) return user;
    if (const char* name = ::getlogin()) return name;
    return "Vocalis";
}

// Shows the window full screen and to the front, and waits a moment for it to become the
// active one (which makes it full screen and starts the count to the intro), so that the
// rest of the player is made during the intro's wait.
void showActive(MainWindow& window, const std::function<void()>& toFront) {
    // Without a window manager (a kiosk X session) full screen is only a request nobody
    // grants: cover the screen ourselves too.
    if (QScreen* screen = QGuiApplication::primaryScreen()) window.setGeometry(screen->geometry());
    window.show();
    toFront();
    QEventLoop activation;
    QObject::connect(&window, &MainWindow::firstActivated, &activation, &QEventLoop::quit);
    // A window manager that never hands over the focus holds the player up no longer.
    QTimer::singleShot(kActivationWait, &activation, &QEventLoop::quit);
    activation.exec();
}

}  // namespace

int main(int argc, char** argv) {
    // Large blocks straight from the system and back to it when freed. malloc otherwise
    // raises this threshold to the size of the biggest block freed so far (the catalogue's
    // tens of megabytes), after which libVLC's pictures and the scan's buffers of every size
    // below it stay in the heaps once freed: about 50 MB more resident while a video plays.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    std::string problem;
    const auto parsed = parsePlayerOptions(std::vector<std::string>(argv + 1, argv + argc), problem);
    if (!parsed) {
        std::cerr << "vocalis-player: " << problem << "\n" << kPlayerUsage;
        return 2;
    }
    const PlayerOptions& options = *parsed;
    if (options.help) {
        std::cout << kPlayerUsage;
        return 0;
    }

    // A peer that closes mid-write (libVLC's own HTTP reads included) must never end the player.
    std::signal(SIGPIPE, SIG_IGN);
    QApplication application(argc, argv);
    QApplication::setApplicationName("Vocalis Player");
    if (::pipe(signalPipe) == 0) {
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &application,
                     [] { QApplication::quit(); });

    const Resources resources = Resources::find();
    // The window first, to the front and active: the intro starts 1 s after that, and the
    // rest of the player is made within that second.
    MainWindow window(
        {QString::fromStdString(resources.banner), QString::fromStdString(resources.scoreBackground)});
    const auto toFront = [&window] {
        window.raise();
        window.activateWindow();
    };
    showActive(window, toFront);

    const DataFolder data{options.dataDir.value_or(defaultDataFolder())};
    const std::string introSource = options.introClip.value_or(resources.introClip);
    const std::string idleSource = options.idleClip.value_or(resources.idleClip);
    const std::string introName = clipName("intro", introSource);
    const std::string idleName = clipName("idle", idleSource);

    QtScheduler scheduler;
    // The durable state: what plays and what was sung; without it (another player holds the
    // folder, or it cannot be written) the player plays on from memory.
    const std::string& dataFolder = data.supportFolder;
    data.prepare();
    auto opening = Store::open(dataFolder);
    switch (opening.status) {
        case OpenStatus::kOpened:
        case OpenStatus::kReplacedBroken:  // the store said where the broken file went
            break;
        case OpenStatus::kInUse:
            logParts("Store: the player runs without a store: ", opening.detail);
            break;
        case OpenStatus::kFailed:
            logParts("Store: the player runs without a store: it cannot be opened (", opening.detail, ")");
            break;
    }
    std::optional<StoreWriter> storeWriter;
    if (opening.store) storeWriter.emplace(std::move(*opening.store), scheduler);
    std::optional<WrittenPlayStore> playStore;
    if (storeWriter) playStore.emplace(*storeWriter);
    SettingsPreferences preferences;
    SongManager& songs = SongManager::getInstance();
    SocketManager& sockets = SocketManager::getInstance();
    ThumbnailManager& thumbnails = ThumbnailManager::getInstance();
    DiscoveryResponder discovery(preferences);
    // FFmpeg and aubio, loaded when a melody is first made or the microphone first heard; made
    // before the background queue, whose melody work uses it until the queue is done.
    AnalysisModule analysis(AnalysisModule::besideProgram());
    BackgroundQueue background;
    LocalMediaService media(songs, data.tempFolder(), introName, idleName);
    ThumbnailServer thumbnailServer(thumbnails, songs);

    std::vector<std::string> vlcArguments;
    if (options.noSound) vlcArguments = VlcMediaPlayer::soundlessArguments();
    VlcMediaPlayer player(scheduler, {vlcArguments, &window.videoSink(), {}});
    VlcScoreSound scoreSound(resources.scoreSound, vlcArguments);
    PulseSystemVolume volume;
    // The singers' takes; one that ends on a nearly full disk says so on the screen, through
    // the engine (made below: no take runs before it).
    CommandSink* notices = nullptr;
    CameraRecorder camera({findCamera(options.camera), 1ull << 30, &window.cameraPreview(), [&notices] {
                               if (notices)
                                   notices->issue(Command::message("Ổ đĩa sắp đầy: đã dừng ghi hình"),
                                                  CommandSource::Operator);
                           }});

    // What the singers sing into, for the measured score: the one named for this run, else the
    // one chosen in the settings, else the default source.
    const std::string source =
        options.noSound ? "none"
                        : options.microphone.value_or(preferences.stringForKey(KEY_MICROPHONE).value_or(""));
    std::optional<PulseMicrophone> microphone;
    if (source == "none")
        logLine("Microphone: none; scores are drawn at random");
    else
        microphone.emplace(
            scheduler, analysis,
            PulseMicrophone::Options{
                {}, source, std::chrono::milliseconds(preferences.integerForKey(KEY_MICROPHONE_DELAY))});

    const std::string demoFolder = data.songFolder() + "/Vocalis Demo";
    EngineConfig config;
    config.introURL = [&media, introName] { return media.clipURL(introName); };
    config.idleURL = [&media, idleName] { return media.clipURL(idleName); };
    config.songURL = [&media](std::int32_t songId) { return media.songURL(songId); };
    config.songFolders = [&options, &data] {
        std::vector<std::string> folders = getKaraokePaths();
        for (const std::string& folder : options.songFolders) {
            if (isDirectory(folder))
                folders.push_back(folder);
            else
                logParts("Song folder not found: ", folder);
        }
        if (pathExists(data.songFolder())) folders.push_back(data.songFolder());
        return folders;
    };
    config.thumbnailFolder = data.thumbnailFolder();
    config.recordFolder = data.recordFolder();
    config.melodyFolder = data.melodyFolder();
    config.loginName = loginName();
    config.remotePort = options.remotePort;
    config.discoveryPort = options.discoveryPort;
    config.fairTurns = options.fairTurns;
    AppDelegate engine({scheduler, preferences, songs, sockets, discovery, thumbnails, player, window, volume,
                        camera, scoreSound, background, playStore ? &*playStore : nullptr,
                        microphone ? &*microphone : nullptr, &analysis},
                       config);
    notices = &engine;
    // Phones hear what the engine announces, as every front-end does.
    PhoneNews phoneNews(sockets);
    engine.addListener(&phoneNews);
    // The songs each guest sang and their favourites, for the page.
    std::optional<GuestRecords> guestRecords;
    if (storeWriter) guestRecords.emplace(*storeWriter, songs, config.songFolders);
    // The browser remote, beside the phones; a PIN on the command line replaces the stored one,
    // which is otherwise read at each command, so the settings window's changes count at once.
    WebRemote web(scheduler, songs, engine,
                  {options.webPort, options.webPin, options.thumbnailPort, false, &preferences,
                   guestRecords ? &*guestRecords : nullptr});
    window.setEngine(&engine);
    OperatorWindows operatorWindows({window, engine, songs, thumbnails, preferences, scheduler, background,
                                     config.loginName, QPixmap(QString::fromStdString(resources.banner)),
                                     [] { return listSoundSources(); },
                                     [](const std::string& source, std::stop_token stop) {
                                         return measureMicrophoneDelay({{}, source}, std::move(stop));
                                     },
                                     [&microphone](std::chrono::milliseconds delay) {
                                         if (microphone) microphone->setDelay(delay);
                                     }});

    // The window and the player, with the stored equalizer and scoring.
    engine.awakeFromNib();

    // Clips, flags, the thumbnail store and both HTTP services.
    data.placeClip(introSource, introName);
    data.placeClip(idleSource, idleName);
    engine.applicationDidFinishLaunching();
    std::stop_source quitting;  // ends work that would hold the quit up
    if (options.demo)
        startDemoLibrary(engine, scheduler, background, demoFolder, data.supportFolder + "/demo.making",
                         quitting.get_token());
    thumbnails.load(data.thumbnailFolder(), data.thumbnailDataPath());
    std::string error;
    if (!thumbnailServer.start(options.thumbnailPort, &error))
        logParts("Error starting thumbnail server: ", error);
    media.start(options.mediaPort);
    // libVLC loads what the intro needs while the window waits; then it only has to play.
    player.prepare(Media::url(media.clipURL(introName)));
    if (!web.start(&error)) logParts("Error starting web remote: ", error);
    // The page's address for guests' phones to scan, while the page is served.
    QrCodeView qrCode(
        scheduler, songs,
        [&web]() -> std::optional<std::string> {
            return web.port() != 0 ? webPageAddress(web.port()) : std::nullopt;
        },
        window.screen());
    engine.addListener(&qrCode);

    // The keyboard's media keys, as the desktop hands them to the player used last.
    MprisPlayer mediaKeys(songs, engine, {options.thumbnailPort, toFront, [] { QApplication::quit(); }});
    mediaKeys.start();
    // Guests watch the screen and drive the player from their phones: the desktop must not blank it.
    const auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    ScreenAwake screenAwake(QDBusConnection::sessionBus(), x11 ? x11->connection() : nullptr);
    screenAwake.start();
    // To the front once more in 3 s, for a desktop that was busy.
    QTimer::singleShot(3000, &window, toFront);
    const int status = QApplication::exec();

    // Gone from the screen at once, though a take's file may still be finishing below.
    window.hide();
    quitting.request_stop();
    web.stop();
    engine.applicationWillTerminate();
    thumbnailServer.stop();
    media.stop();
    background.join();
    window.setEngine(nullptr);
    camera.finishEndedTakes();
    logLine("Vocalis Player stopped");
    return status;
}
