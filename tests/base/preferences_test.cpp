#include "base/preferences.h"

#include <gtest/gtest.h>

using namespace vocalis;

TEST(Preferences, TypedReadsDefaultsAndConversionsLikeTheStore) {
    MemoryPreferences store;
    EXPECT_FALSE(store.boolForKey("KEY_SCORING"));
    EXPECT_EQ(store.integerForKey("KEY_RANDOM_TYPE"), 0);
    EXPECT_FALSE(store.stringForKey("KEY_RANDOM_KEYWORD").has_value());
    store.registerDefaults({{"KEY_DEVICE_NAME", std::string("karaoke")}});
    store.setString("KEY_DEVICE_NAME", "Phòng 3");
    store.removeObject("KEY_DEVICE_NAME");  // uncovers the default again
    EXPECT_EQ(store.stringForKey("KEY_DEVICE_NAME"), "karaoke");
    store.setString("KEY_RANDOM_KEYWORD", "");  // an empty keyword is a value, not an absent one
    EXPECT_EQ(store.stringForKey("KEY_RANDOM_KEYWORD"), "");

    store.setBool("KEY_RANDOM", true);
    EXPECT_EQ(store.integerForKey("KEY_RANDOM"), 1);
    store.setInteger("KEY_RANDOM_TYPE", 2);
    EXPECT_EQ(store.stringForKey("KEY_RANDOM_TYPE"), "2");
    store.setString("n", " 42");
    EXPECT_EQ(store.integerForKey("n"), 42);
    store.setString("n", "forty");
    EXPECT_FALSE(store.boolForKey("n") || store.integerForKey("n"));
    store.setString("n", "YES");
    EXPECT_TRUE(store.boolForKey("n"));
}
