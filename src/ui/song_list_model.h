#pragma once

#include <QAbstractListModel>
#include <cstdint>

namespace vocalis {

class SongManager;
class ThumbnailCache;
struct Song;

// The rows of the song selection window: the waiting songs of the queue while nothing is
// searched (row r is queue position r), else the search result. One model over the
// manager's own lists, so 100,000 songs cost no widgets and no copies.
class SongListModel final : public QAbstractListModel {
    Q_OBJECT

  public:
    enum class Mode { Queue, Search };
    enum Role { SingerRole = Qt::UserRole + 1, InQueueRole, SongIdRole };

    SongListModel(const SongManager& songs, ThumbnailCache& thumbnails, QObject* parent = nullptr);

    // Everything may have changed: the queue, the search result, the queued marks.
    void reload(Mode mode);
    Mode mode() const { return mode_; }
    const Song* songAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    void thumbnailReady(std::int32_t songId);

    const SongManager& songs_;
    ThumbnailCache& thumbnails_;
    Mode mode_ = Mode::Queue;
};

}  // namespace vocalis
