// One QApplication for the whole test program, on the offscreen platform, with the
// settings folder in a temporary directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "support/temp_dir.h"

namespace {

struct QtEnvironment final : ::testing::Environment {
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
        application = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { application.reset(); }

    int argc = 1;
    char name[9] = "ui_tests";
    char* argv[2] = {name, nullptr};
    vocalis::testing::TempDir config;
    std::unique_ptr<QApplication> application;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
