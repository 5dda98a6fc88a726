// The microphone's delay in the settings window, measured against a private PulseAudio whose null
// sink's monitor stands in for the microphone.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "base/preferences.h"
#include "base/settings_keys.h"
#include "system/pulse_daemon.h"
#include "ui/settings_window.h"

namespace vocalis {
namespace {

using testing::PulseDaemon;

TEST(SettingsWindow, TheMicrophonesDelayIsMeasuredWithoutHoldingTheWindowAndAFailureStoresNothing) {
    PulseDaemon daemon;
    ASSERT_TRUE(daemon.running()) << "pulseaudio did not start; see " << daemon.log();
    const auto loaded = testing::runProgram("/usr/bin/pactl", {"--server", daemon.server(), "load-module",
                                                               "module-null-source", "source_name=deaf"});
    ASSERT_EQ(loaded.status, 0) << loaded.err;
    MemoryPreferences store;
    store.setInteger(KEY_MICROPHONE_DELAY, 345);
    const std::string monitor = std::string(PulseDaemon::kSinkName) + ".monitor";
    std::vector<std::int64_t> told;  // the delays the microphone listening now was given
    const auto open = [&] {
        return new SettingsWindow({store,
                                   "ca",
                                   {},
                                   {},
                                   {},
                                   {},
                                   false,
                                   {},
                                   std::vector<SoundSource>{{monitor, "Loa"}, {"deaf", "Điếc"}},
                                   {},
                                   [&](const std::string& source, std::stop_token stop) {
                                       return measureMicrophoneDelay({daemon.server(), source}, stop);
                                   },
                                   [&](std::chrono::milliseconds delay) { told.push_back(delay.count()); }});
    };
    QPointer<SettingsWindow> window = open();
    EXPECT_EQ(window->spnMicrophoneDelay()->value(), 345);
    const auto measure = [&](const QString& source) {
        window->ddlMicrophone()->setCurrentIndex(window->ddlMicrophone()->findData(source));
        window->btnMeasureDelay()->click();
    };

    // Typed: stored and used at once.
    window->spnMicrophoneDelay()->setValue(120);
    EXPECT_EQ(store.integerForKey(KEY_MICROPHONE_DELAY), 120);
    EXPECT_EQ(told, std::vector<std::int64_t>{120});
    // Measured: the window answers while the bursts play, and the delay found is shown and stored.
    measure(QString::fromStdString(monitor));
    EXPECT_EQ(window->btnMeasureDelay()->text(), "Đang đo…");
    EXPECT_FALSE(window->btnMeasureDelay()->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->btnMeasureDelay()->isEnabled(); }, 20'000));
    EXPECT_EQ(window->btnMeasureDelay()->text(), "Đo độ trễ micro");
    const int measured = window->spnMicrophoneDelay()->value();
    EXPECT_LT(measured, 60);
    EXPECT_EQ(store.integerForKey(KEY_MICROPHONE_DELAY), measured);
    EXPECT_EQ(told.back(), measured);
    EXPECT_EQ(window->lblDelayOutcome()->text(), QStringLiteral("Đã đo: %1 ms").arg(measured));

    // A microphone that hears nothing, and none chosen: said in the window, nothing stored.
    window->spnMicrophoneDelay()->setValue(77);
    measure("deaf");
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->btnMeasureDelay()->isEnabled(); }, 20'000));
    EXPECT_TRUE(window->lblDelayOutcome()->text().startsWith("Micro không nghe thấy"))
        << window->lblDelayOutcome()->text().toStdString();
    measure("none");
    EXPECT_EQ(window->lblDelayOutcome()->text(), "Hãy chọn micro trước khi đo");
    EXPECT_EQ(window->spnMicrophoneDelay()->value(), 77);
    EXPECT_EQ(store.integerForKey(KEY_MICROPHONE_DELAY), 77);
    EXPECT_EQ(told.back(), 77);

    // Closed while measuring: the measuring stops, and nothing is stored.
    measure(QString::fromStdString(monitor));
    delete window.data();
    QTest::qWait(100);
    EXPECT_EQ(store.integerForKey(KEY_MICROPHONE_DELAY), 77);
}

}  // namespace
}  // namespace vocalis
