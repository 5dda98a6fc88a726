#pragma once

#include <QCache>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QSize>
#include <QThreadPool>
#include <cstdint>

namespace vocalis {

class ThumbnailManager;

// Song pictures for lists: read and scaled on a worker thread, kept as pixmaps for the
// rows that show them. A song without a picture gets the fallback.
class ThumbnailCache final : public QObject {
    Q_OBJECT

  public:
    ThumbnailCache(const ThumbnailManager& thumbnails, QSize size, QPixmap fallback,
                   QObject* parent = nullptr);
    ~ThumbnailCache() override;

    // The picture when it is at hand; otherwise the fallback, and a load is started that
    // ends in ready().
    QPixmap pixmap(std::int32_t songId);
    bool has(std::int32_t songId) const { return cache_.contains(songId); }

  signals:
    void ready(std::int32_t songId);

  private:
    void loaded(std::int32_t songId, const QImage& image);

    const ThumbnailManager& thumbnails_;
    QSize size_;
    QPixmap fallback_;
    QCache<std::int32_t, QPixmap> cache_;
    QSet<std::int32_t> loading_;
    // Its own workers, waited for when the cache goes, so none outlives it.
    QThreadPool workers_;
};

}  // namespace vocalis
