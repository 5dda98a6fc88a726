#include "base/paths.h"

#include <gtest/gtest.h>

using namespace vocalis;

TEST(Paths, DocumentsFolderFromUserDirs) {
    const std::string text =
        "# This file is written by xdg-user-dirs-update\n"
        "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        "XDG_DOCUMENTS_DIR=\"$HOME/Tài liệu\"\n";
    EXPECT_EQ(parseDocumentsDir(text, "/home/ca"), "/home/ca/Tài liệu");
    EXPECT_EQ(parseDocumentsDir("XDG_DOCUMENTS_DIR=\"/srv/docs\"\n", "/home/ca"), "/srv/docs");
    EXPECT_EQ(parseDocumentsDir("XDG_DOCUMENTS_DIR=\"$HOME/My\\\"Docs\"\n", "/h"), "/h/My\"Docs");
    // Relative paths are not honoured, and a missing entry gives nothing.
    EXPECT_FALSE(parseDocumentsDir("XDG_DOCUMENTS_DIR=\"Docs\"\n", "/h").has_value());
    EXPECT_FALSE(parseDocumentsDir("XDG_MUSIC_DIR=\"$HOME/Music\"\n", "/h").has_value());
}

TEST(Paths, DataFolderFollowsTheEnvironment) {
    const std::string dir = ::testing::TempDir() + "paths_test_home";
    setenv("HOME", dir.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir + "/no-config").c_str(), 1);
    EXPECT_EQ(defaultDataFolder(), dir + "/Documents/Vocalis Player");
}
