#include "system/autostart.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_program.h"
#include "support/temp_dir.h"

using namespace vocalis;
using namespace vocalis::testing;

TEST(Autostart, OnWritesAValidEntryOffRemovesEveryEntryOfThisPlayer) {
    TempDir config;
    const std::string executable = config / "Vocalis Player $1/vocalis-player";
    const Autostart autostart(config.path(), executable);
    EXPECT_FALSE(autostart.isEnabled());

    ASSERT_TRUE(autostart.setEnabled(true));
    EXPECT_TRUE(autostart.isEnabled());
    const std::string entry = readFile(autostart.entryPath());
    EXPECT_NE(entry.find("Exec=\"" + config.path() + "/Vocalis Player \\$1/vocalis-player\"\n"),
              std::string::npos)
        << entry;
    const ProgramResult validated = runProgram("desktop-file-validate", {autostart.entryPath()});
    EXPECT_EQ(validated.status, 0) << validated.out << validated.err;

    // Entries that launch this player under other names (an older install, a hand-made one)
    // count and go with it; another program's entry stays.
    std::filesystem::remove(autostart.entryPath());
    config.write("autostart/hidden.desktop",
                 "[Desktop Entry]\nType=Application\nExec=vocalis-player\nHidden=true\n");
    EXPECT_FALSE(autostart.isEnabled());
    config.write("autostart/old.desktop",
                 "[Desktop Entry]\nType=Application\nExec=/usr/bin/vocalis-player --demo\n");
    config.write("autostart/other.desktop",
                 "[Desktop Entry]\nType=Application\nExec=/usr/bin/other vocalis-player\n");
    EXPECT_TRUE(autostart.isEnabled());
    ASSERT_TRUE(autostart.setEnabled(false));
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_FALSE(std::filesystem::exists(config / "autostart/old.desktop"));
    EXPECT_FALSE(std::filesystem::exists(config / "autostart/hidden.desktop"));
    EXPECT_TRUE(std::filesystem::exists(config / "autostart/other.desktop"));
}
