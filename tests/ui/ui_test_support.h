#pragma once

#include <gtest/gtest.h>

#include <QTest>

#include "ui/main_window.h"
#include "ui/screen_view.h"

namespace vocalis::testing {

inline void showActive(QWidget& widget) {
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&widget, 10000));
}

}  // namespace vocalis::testing
