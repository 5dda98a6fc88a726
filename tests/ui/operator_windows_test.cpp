#include "ui/operator_windows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "app/engine_harness.h"
#include "app/media_samples.h"
#include "support/run_program.h"
#include "ui/equalizer_window.h"
#include "ui/settings_window.h"
#include "ui/song_list_model.h"
#include "ui/song_selection_window.h"
#include "ui/thumbnail_window.h"
#include "ui/ui_test_support.h"

using namespace vocalis;
using namespace vocalis::testing;
namespace fs = std::filesystem;

namespace {

void deleteClosed() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

template <typename Window>
QList<Window*> shownIn(const QWidget& parent) {
    QList<Window*> list;
    for (Window* w : parent.findChildren<Window*>())
        if (w->isVisible()) list.push_back(w);
    return list;
}

}  // namespace

TEST(SettingsWindow, ControlsStoreAtOnceAndOkHandsOverOnlyAChangedRandomPlay) {
    MemoryPreferences store;
    store.registerDefaults({{KEY_DEVICE_NAME, std::string("ca")}});
    bool launch = false;
    std::vector<std::string> calls;
    const auto isLaunched = [&] { return launch; };
    const auto setLaunch = [&](bool on) { launch = on; };
    const auto setScoring = [&](bool on) { calls.push_back(on ? "scoring on" : "scoring off"); };
    const auto setRandom = [&](bool on, std::int32_t type, std::optional<std::string> keyword) {
        calls.push_back((on ? "random " : "off ") + std::to_string(type) + " " + keyword.value_or("<none>"));
    };
    QPointer<SettingsWindow> window;
    std::vector<SoundSource> microphones{{"usb_mic", "USB Mic"}};
    const auto open = [&] {
        window = new SettingsWindow(
            {store, "ca", isLaunched, setLaunch, setScoring, setRandom, false, {}, microphones});
    };
    const auto choose = [&](QComboBox* box, int index) {
        box->setCurrentIndex(index);
        emit box->activated(index);
    };

    // First run: nothing stored, OK only closes.
    open();
    EXPECT_EQ(window->txtDeviceName()->text(), "ca");
    EXPECT_FALSE(window->cbRandom()->isChecked() || window->txtKeyword()->isEnabled());
    window->cbStartup()->click();
    EXPECT_TRUE(launch);
    window->cbScoring()->click();
    EXPECT_TRUE(store.boolForKey(KEY_SCORING));
    window->cbRandom()->click();
    window->cbRandom()->click();
    // The browser remote's PIN: stored as typed, without spaces around it; emptied, none.
    QTest::keyClicks(window->txtWebPin(), " 4321 ");
    EXPECT_EQ(store.stringForKey(KEY_WEB_PIN), "4321");
    window->txtWebPin()->selectAll();
    QTest::keyClick(window->txtWebPin(), Qt::Key_Backspace);
    EXPECT_EQ(store.stringForKey(KEY_WEB_PIN), std::nullopt);
    QTest::keyClicks(window->txtWebPin(), "57");
    window->btnOK()->click();
    EXPECT_EQ(calls, std::vector<std::string>{"scoring on"});
    deleteClosed();
    EXPECT_TRUE(window.isNull());

    // Random on, singer, a keyword: stored at once, handed over once on OK.
    open();
    EXPECT_TRUE(window->cbStartup()->isChecked());
    EXPECT_EQ(window->txtWebPin()->text(), "57");
    window->cbRandom()->click();
    choose(window->ddlKeyword(), 2);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QStringLiteral("Mỹ Tâm"));
    QCoreApplication::sendEvent(window->txtKeyword(), &typed);
    EXPECT_TRUE(store.boolForKey(KEY_RANDOM));
    EXPECT_EQ(store.integerForKey(KEY_RANDOM_TYPE), 2);
    EXPECT_EQ(store.stringForKey(KEY_RANDOM_KEYWORD), "Mỹ Tâm");
    window->btnOK()->click();
    EXPECT_EQ(calls.back(), "random 2 Mỹ Tâm");

    // A type changed and Escape: stored, not handed over; an emptied device name becomes the login
    // name on closing.
    const auto before = calls.size();
    open();
    choose(window->ddlKeyword(), 0);
    window->txtDeviceName()->clear();
    QTest::keyClick(window->txtDeviceName(), Qt::Key_A);
    QTest::keyClick(window->txtDeviceName(), Qt::Key_Backspace);
    EXPECT_EQ(store.stringForKey(KEY_DEVICE_NAME), "");
    QTest::keyClick(window, Qt::Key_Escape);
    EXPECT_EQ(calls.size(), before);
    EXPECT_EQ(store.integerForKey(KEY_RANDOM_TYPE), 0);
    EXPECT_EQ(store.stringForKey(KEY_DEVICE_NAME), "ca");

    // The microphone: the default, each input, none; stored at once, kept in the list unplugged.
    open();
    std::vector<std::string> items;
    for (int i = 0; i < window->ddlMicrophone()->count(); ++i)
        items.push_back(window->ddlMicrophone()->itemText(i).toStdString());
    EXPECT_EQ(items, (std::vector<std::string>{"Micro mặc định của máy", "USB Mic",
                                               "Không dùng micro (điểm ngẫu nhiên)"}));
    EXPECT_EQ(window->ddlMicrophone()->currentIndex(), 0);
    choose(window->ddlMicrophone(), 1);
    EXPECT_EQ(store.stringForKey(KEY_MICROPHONE), "usb_mic");
    window->close();
    microphones.clear();
    open();
    EXPECT_EQ(window->ddlMicrophone()->currentText(), "usb_mic (chưa cắm)");
    choose(window->ddlMicrophone(), 2);
    EXPECT_EQ(store.stringForKey(KEY_MICROPHONE), "none");
    choose(window->ddlMicrophone(), 0);
    EXPECT_EQ(store.stringForKey(KEY_MICROPHONE), std::nullopt);
    window->close();
}

TEST(OperatorWindows, EachOpensFromItsShortcutReplacesTheLastAndWorksOnTheEngineWhileThePointerStays) {
    EngineHarness h(
        {"Anh Ơi - Mỹ Tâm.mp4", "Bông Hồng - Ngọc.mp4", "Chiều Hôm Nay - Hà.mp4", "Đêm Đông - Lam.mp4"});
    h.launchToFirstSong();
    VirtualScheduler windowClock;
    MainWindow main({}, windowClock);
    main.setEngine(h.engine.get());
    OperatorWindows windows(
        {main, *h.engine, h.songs, h.thumbnails, h.preferences, h.clock, h.background, "ca", {}, {}});
    main.setMenusEnabled(true, false);
    showActive(main);

    // The equalizer: sliders and presets apply and store at once.
    const std::string stored = "0.7 4.0 4.0 3.0 2.0 0.0 0.0 2.0 3.0 4.0 4.0 9.0";
    h.preferences.setString(KEY_EQ, stored);
    QTest::keyClick(&main, Qt::Key_E, Qt::ControlModifier);
    ASSERT_EQ(shownIn<EqualizerWindow>(main).size(), 1);
    QPointer<EqualizerWindow> equalizer = shownIn<EqualizerWindow>(main).front();
    EXPECT_EQ(equalizer->slider(0)->value(), 207);  // 0.7 dB
    EXPECT_EQ(equalizer->valueLabel(1)->text(), "4.0dB");
    EXPECT_EQ(h.preferences.stringForKey(KEY_EQ), stored);  // opening applies nothing
    equalizer->slider(4)->setValue(165);                    // band 3
    EXPECT_EQ(equalizer->valueLabel(4)->text(), "-3.5dB");
    EXPECT_EQ(h.preferences.stringForKey(KEY_EQ), "0.7 4.0 4.0 3.0 -3.5 0.0 0.0 2.0 3.0 4.0 4.0");
    equalizer->defaultButton()->click();
    EXPECT_EQ(equalizer->slider(0)->value(), 320);
    EXPECT_EQ(h.preferences.stringForKey(KEY_EQ), "12.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0 0.0");
    equalizer->karaokeButton()->click();
    QTest::keyClick(equalizer, Qt::Key_Escape);  // closing keeps the change
    EXPECT_EQ(h.preferences.stringForKey(KEY_EQ), kDefaultEqualizer);
    QTest::keyClick(&main, Qt::Key_E, Qt::ControlModifier);
    equalizer = shownIn<EqualizerWindow>(main).front();
    main.menuEqualizer()->trigger();  // a new one replaces it
    deleteClosed();
    EXPECT_TRUE(equalizer.isNull());

    // The song selection: initials, folded, spaces removed; Down chooses the first row, Enter queues it.
    QTest::keyClick(&main, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(shownIn<SongSelectionWindow>(main).size(), 1);
    SongSelectionWindow& select = *shownIn<SongSelectionWindow>(main).front();
    const auto rows = [&] {
        std::vector<std::string> out;
        for (int r = 0; r < select.model().rowCount(); ++r)
            out.push_back(select.model().index(r).data().toString().toStdString());
        return out;
    };
    const auto press = [&](Qt::Key key) {
        QTest::keyClick(select.txtSearch(), key);
        h.clock.runPending();
    };
    EXPECT_EQ(select.lblList()->text(), "Bài hát đã chọn");
    EXPECT_EQ(select.model().rowCount(), 0);
    QTest::keyClicks(select.txtSearch(), "c h n");
    EXPECT_EQ(select.lblList()->text(), "Kết quả tìm kiếm");
    EXPECT_EQ(rows(), std::vector<std::string>{"Chiều Hôm Nay"});
    press(Qt::Key_Down);
    ASSERT_NE(select.btnSelect(), nullptr);
    EXPECT_EQ(select.btnSelect()->text(), "Chọn");
    press(Qt::Key_Return);  // the first song starts at once
    EXPECT_EQ(h.songs.currentSongId(), h.idOf("Chiều Hôm Nay"));
    select.txtSearch()->setText("dem dong");
    select.spinKey()->setValue(-3);  // sung three semitones down
    press(Qt::Key_Down);
    press(Qt::Key_Return);
    EXPECT_EQ(h.engine->songKey(h.idOf("Đêm Đông")), -3);
    EXPECT_EQ(select.selectedRowPosition(), -1);
    EXPECT_TRUE(select.model().data(select.model().index(0), SongListModel::InQueueRole).toBool());
    // A phone's change shows in the window; the window's priority moves a waiting song up.
    h.add("Anh Ơi");
    select.txtSearch()->clear();
    h.clock.runPending();
    EXPECT_EQ(rows(), (std::vector<std::string>{"Đêm Đông", "Anh Ơi"}));
    press(Qt::Key_Down);
    press(Qt::Key_Down);
    ASSERT_EQ(select.selectedRowPosition(), 1);
    EXPECT_EQ(select.btnSelect()->text(), "Xoá");
    select.btnPriority()->click();
    h.clock.runPending();
    EXPECT_EQ(rows(), (std::vector<std::string>{"Anh Ơi", "Đêm Đông"}));
    press(Qt::Key_Down);
    press(Qt::Key_Return);  // removes it
    EXPECT_EQ(rows(), std::vector<std::string>{"Đêm Đông"});
    // Clearing takes every waiting song; the one singing plays on.
    h.add("Anh Ơi");
    select.btnClear()->click();
    h.clock.runPending();
    EXPECT_EQ(rows(), std::vector<std::string>{});
    EXPECT_EQ(h.songs.currentSongId(), h.idOf("Chiều Hôm Nay"));
    // The play button follows the engine's play state, whoever changed it: here the main window's keys.
    EXPECT_TRUE(select.showsPause());
    QTest::keyClick(&main, Qt::Key_F8);
    h.clock.runPending();
    EXPECT_FALSE(select.showsPause());

    // Fair turns reach the engine, which stores them.
    QTest::keyClick(&main, Qt::Key_Comma, Qt::ControlModifier);
    ASSERT_EQ(shownIn<SettingsWindow>(main).size(), 1);
    shownIn<SettingsWindow>(main).front()->cbFairTurns()->click();
    h.clock.runPending();
    EXPECT_TRUE(h.engine->fairTurns());
    EXPECT_TRUE(h.preferences.boolForKey(KEY_FAIR_TURNS));
    EXPECT_EQ(windows.openCount(), 3);
    windowClock.advance(std::chrono::seconds(20));
    EXPECT_TRUE(main.isPointerVisible());
    for (QDialog* open : shownIn<QDialog>(main)) open->close();
    EXPECT_FALSE(main.isPointerVisible());
}

TEST(ThumbnailWindow, MakesTheMissingPicturesAndClosingStopsAfterTheSongAtHand) {
    TempDir work;
    // The real tool behind a wrapper that notes each run's input and waits while "hold" exists (10 s at
    // most, so a failing test cannot hang).
    const std::string runs = work / "runs", hold = work / "hold";
    const std::string tool =
        work.write("tool.sh", "#!/bin/sh\necho \"$2\" >> '" + runs + "'\ni=0; while [ -e '" + hold +
                                  "' ] && [ $i -lt 500 ]; do sleep 0.02; i=$((i+1)); "
                                  "done\nexec ffmpeg \"$@\"\n");
    ::chmod(tool.c_str(), 0755);
    const std::string clip = makeVideo(work / "clip.mp4", 40, "160x90");
    const struct Case {
        std::string title, file;
        bool runsTool;
    } cases[] = {
        {"Anh", "Anh - Tuấn.mp4", true},
        {"Bông", "Bông - Lan.mp4", true},
        {"Chiều", "Chiều - Quang.vcv", false},  // never given to the tool
        {"Dạ", "Dạ - Hà.mp4", false},           // has its picture already
    };
    std::vector<std::string> files;
    for (const Case& c : cases) files.push_back(c.file);
    EngineHarness h(files, tool);
    for (const Case& c : cases)
        fs::copy_file(clip, h.songsDir / ("Karaoke/" + c.file), fs::copy_options::overwrite_existing);
    fs::create_directories(h.songsDir / "thumbnail");
    MainWindow window({});
    BackgroundQueue oneThread(1);  // a single core: the batch must leave room for other work
    OperatorWindows windows(
        {window, *h.engine, h.songs, h.thumbnails, h.preferences, h.clock, oneThread, "ca", {}, {}});
    EXPECT_EQ(windows.openThumbnails(), nullptr);  // not before the catalogue is loaded
    h.launchToFirstSong();

    const auto song = [&](const Case& c) { return *h.songs.getSong(h.idOf(c.title)); };
    const auto picture = [&](const Case& c) { return h.engine->thumbnailTool().outputPath(song(c)); };
    const auto toolRuns = [&] { return splitText(readFile(runs), '\n'); };
    QPointer<ThumbnailWindow> batch;
    const auto open = [&] {
        fs::remove(runs);
        batch = qobject_cast<ThumbnailWindow*>(windows.openThumbnails());
        ASSERT_TRUE(batch);
        EXPECT_TRUE(h.engine->flags().isCreateThumbnail);  // the up-next step leaves the tool alone
    };
    const auto finished = [&] {
        return batch && batch->lblStatus()->text() == "Đã tạo xong tất cả thumbnail";
    };
    const auto closedAndGone = [&] {
        EXPECT_FALSE(h.engine->flags().isCreateThumbnail);
        deleteClosed();
        EXPECT_TRUE(batch.isNull());
    };
    std::ofstream(picture(cases[3])) << "old";

    open();
    ASSERT_TRUE(h.settle(finished));
    EXPECT_EQ(batch->btnStop()->text(), "OK");
    EXPECT_EQ(batch->lblProgress()->text(), "4 / 4");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(std::ranges::count(toolRuns(), h.songsDir / ("Karaoke/" + c.file)), c.runsTool ? 1 : 0);
        EXPECT_EQ(fs::exists(picture(c)), c.file.ends_with(".mp4"));  // none for the .vcv
    }
    EXPECT_TRUE(readFile(picture(cases[3])) == "old") << "replaced";
    batch->btnStop()->click();
    closedAndGone();

    const auto remakeFirstTwo = [&] {
        for (const Case& c : {cases[0], cases[1]}) fs::remove(picture(c));
        work.write("hold");
        open();
        ASSERT_TRUE(h.settle([&] { return toolRuns().size() == 1; }));
    };
    // Other background work (the up-next step) gets its turn between two songs.
    remakeFirstTwo();
    std::atomic<int> runsSeen = -1;
    oneThread.post([&] { runsSeen = static_cast<int>(toolRuns().size()); });
    fs::remove(hold);
    ASSERT_TRUE(h.settle(finished));
    EXPECT_EQ(runsSeen, 1);
    batch->close();
    closedAndGone();

    // Closed while the tool works on the first song: that song is finished, no other starts.
    remakeFirstTwo();
    batch->close();
    EXPECT_FALSE(h.engine->flags().isCreateThumbnail);
    EXPECT_EQ(windows.openCount(), 0);
    h.clock.runPending();
    deleteClosed();
    ASSERT_TRUE(batch);  // waits, hidden, for the song at hand
    EXPECT_FALSE(finished());
    fs::remove(hold);
    ASSERT_TRUE(h.settle(finished));
    EXPECT_EQ(toolRuns(), std::vector<std::string>{h.songsDir / ("Karaoke/" + cases[0].file)});
    EXPECT_TRUE(fs::exists(picture(cases[0])));
    EXPECT_EQ(batch->lblProgress()->text(), "1 / 4");
    closedAndGone();
}
