#include "ui/settings_preferences.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace vocalis;

TEST(SettingsPreferences, ValuesSurviveANewInstanceDefaultsAreNeverWrittenAndHandEditsAreReadAsText) {
    QString file;
    {
        SettingsPreferences preferences("VocalisTest", "RoundTrip");
        file = preferences.fileName();
        preferences.registerDefaults({{"KEY_EQ", std::string("11.0 4.0")}, {"KEY_SCORING", true}});
        EXPECT_EQ(preferences.stringForKey("KEY_EQ"), "11.0 4.0");
        EXPECT_TRUE(preferences.boolForKey("KEY_SCORING"));
        preferences.setString("KEY_DEVICE_NAME", "Phòng hát số 1, tầng 2");
        preferences.setBool("KEY_RANDOM", true);
        preferences.setBool("KEY_SCORING", false);
        preferences.setInteger("KEY_RANDOM_TYPE", 2);
        preferences.setString("KEY_GONE", "x");
        preferences.removeObject("KEY_GONE");
        preferences.synchronize();
    }
    SettingsPreferences reopened("VocalisTest", "RoundTrip");
    EXPECT_EQ(reopened.stringForKey("KEY_DEVICE_NAME"), "Phòng hát số 1, tầng 2");
    EXPECT_TRUE(reopened.boolForKey("KEY_RANDOM"));
    EXPECT_FALSE(reopened.boolForKey("KEY_SCORING"));  // the stored value beats the default
    EXPECT_EQ(reopened.integerForKey("KEY_RANDOM_TYPE"), 2);
    EXPECT_FALSE(reopened.objectForKey("KEY_GONE").has_value());
    EXPECT_FALSE(reopened.objectForKey("KEY_EQ").has_value());  // the default stayed in memory
    QFile stored(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    const QByteArray text = stored.readAll();
    EXPECT_FALSE(text.contains("KEY_EQ"));
    EXPECT_TRUE(text.contains("KEY_DEVICE_NAME"));

    stored.close();
    ASSERT_TRUE(stored.open(QIODevice::WriteOnly | QIODevice::Truncate));
    stored.write("[General]\nKEY_SCORING=1\nKEY_RANDOM_TYPE=1\nKEY_RANDOM_KEYWORD=a, b\n");
    stored.close();
    SettingsPreferences edited("VocalisTest", "RoundTrip");
    EXPECT_TRUE(edited.boolForKey("KEY_SCORING"));
    EXPECT_EQ(edited.integerForKey("KEY_RANDOM_TYPE"), 1);
    EXPECT_EQ(edited.stringForKey("KEY_RANDOM_KEYWORD"), "a, b");
}
