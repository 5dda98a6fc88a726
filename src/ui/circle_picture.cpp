#include "ui/circle_picture.h"

#include <QByteArrayView>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace vocalis {

std::optional<QImage> circlePicture(const ImageBytes& bytes, int maxSide) {
    if (bytes.empty()) return std::nullopt;
    // Qt's reader refuses pictures whose pixels would need more than its allocation limit,
    // so a hostile size fails here instead of exhausting memory.
    QImage source = QImage::fromData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (source.isNull()) return std::nullopt;

    const int side = std::min(source.width(), source.height());
    const QRect square((source.width() - side) / 2, (source.height() - side) / 2, side, side);
    QImage cropped = source.copy(square);
    if (side > maxSide)
        cropped = cropped.scaled(maxSide, maxSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    const int out = cropped.width();
    QImage circle(out, out, QImage::Format_ARGB32_Premultiplied);
    circle.fill(Qt::transparent);
    QPainter painter(&circle);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath path;
    path.addEllipse(QRectF(0, 0, out, out));
    painter.setClipPath(path);
    painter.drawImage(QPoint(0, 0), cropped);
    painter.end();
    return circle;
}

}  // namespace vocalis
