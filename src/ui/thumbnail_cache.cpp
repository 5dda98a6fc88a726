#include "ui/thumbnail_cache.h"

#include "thumbnails/thumbnail_manager.h"

namespace vocalis {

namespace {
constexpr int kCachedPictures = 600;  // a few screens of rows
}

ThumbnailCache::ThumbnailCache(const ThumbnailManager& thumbnails, QSize size, QPixmap fallback,
                               QObject* parent)
    : QObject(parent),
      thumbnails_(thumbnails),
      size_(size),
      fallback_(fallback.isNull() ? QPixmap()
                                  : fallback.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation)),
      cache_(kCachedPictures) {
    workers_.setMaxThreadCount(2);
}

ThumbnailCache::~ThumbnailCache() {
    workers_.clear();
    workers_.waitForDone();
}

QPixmap ThumbnailCache::pixmap(std::int32_t songId) {
    if (const QPixmap* cached = cache_.object(songId)) return cached->isNull() ? fallback_ : *cached;
    if (!loading_.contains(songId)) {
        loading_.insert(songId);
        workers_.start([this, songId] {
            QImage image;
            if (const auto bytes = thumbnails_.getThumbnail(songId))
                image.loadFromData(bytes->data(), static_cast<int>(bytes->size()));
            if (!image.isNull()) image = image.scaled(size_, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            // Delivered on the cache's own thread; dropped with it if it is gone by then.
            QMetaObject::invokeMethod(
                this, [this, songId, image] { loaded(songId, image); }, Qt::QueuedConnection);
        });
    }
    return fallback_;
}

void ThumbnailCache::loaded(std::int32_t songId, const QImage& image) {
    loading_.remove(songId);
    // A null pixmap remembers "no picture", so the file is not read again for every paint.
    cache_.insert(songId, new QPixmap(image.isNull() ? QPixmap() : QPixmap::fromImage(image)));
    emit ready(songId);
}

}  // namespace vocalis
