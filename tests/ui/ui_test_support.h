#pragma once

#include <QBuffer>
#include <QImage>

#include "app/overlays.h"

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

}  // namespace vocalis::testing
