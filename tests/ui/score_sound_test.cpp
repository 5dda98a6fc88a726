#include <gtest/gtest.h>

#include <QTest>

#include "app/media_samples.h"
#include "support/temp_dir.h"
#include "ui/vlc_score_sound.h"

using namespace vocalis;
using namespace vocalis::testing;

TEST(VlcScoreSound, PlaysAFileOnceAndRefusesWhatItCannotPlay) {
    TempDir dir;
    VlcScoreSound missing(dir / "none.mp3", {"--aout=adummy"});
    EXPECT_FALSE(missing.play());
    missing.stop();  // harmless

    VlcScoreSound sound(makeAudioOnly(dir / "score.m4a", 1), {"--aout=adummy"});
    ASSERT_TRUE(sound.play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.isPlaying(); }, 10000));
    // Played once: it ends by itself.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sound.isPlaying(); }, 15000));
    // And again for the next score screen, then stopped early.
    ASSERT_TRUE(sound.play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sound.isPlaying(); }, 10000));
    sound.stop();
    EXPECT_FALSE(sound.isPlaying());
}
