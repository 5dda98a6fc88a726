#pragma once

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QTest>

#include "app/overlays.h"
#include "ui/main_window.h"
#include "ui/screen_view.h"

namespace vocalis::testing {

// A picture as encoded bytes, the way a phone or the thumbnail store hands them over.
inline ImageBytes encoded(const QImage& image, const char* format = "PNG") {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return ImageBytes(bytes.begin(), bytes.end());
}

inline QImage filled(int width, int height, QColor color) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

inline void showActive(QWidget& widget) {
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&widget, 10000));
}

// The window takes the whole screen when it first becomes active; tests want their own size.
inline void showWindowed(MainWindow& window, int width, int height) {
    showActive(window);
    window.showNormal();
    window.resize(width, height);
    QCoreApplication::processEvents();
    ASSERT_EQ(window.screen().size(), QSize(width, height));
}

}  // namespace vocalis::testing
