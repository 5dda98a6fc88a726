// One QApplication for the whole test program, on the offscreen platform, with the
// settings folder in a temporary directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

#include "support/temp_dir.h"

namespace {

class QtEnvironment final : public ::testing::Environment {
  public:
    void SetUp() override {
        config_ = std::make_unique<vocalis::testing::TempDir>();
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("XDG_CONFIG_HOME", config_->path().c_str(), 1);
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        application_.reset();
        config_.reset();
    }

  private:
    int argc_ = 1;
    char name_[9] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<vocalis::testing::TempDir> config_;
    std::unique_ptr<QApplication> application_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
