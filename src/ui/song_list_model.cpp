#include "ui/song_list_model.h"

#include <QPixmap>
#include <algorithm>

#include "catalogue/song_manager.h"
#include "ui/thumbnail_cache.h"

namespace vocalis {

SongListModel::SongListModel(const SongManager& songs, ThumbnailCache& thumbnails, QObject* parent)
    : QAbstractListModel(parent), songs_(songs), thumbnails_(thumbnails) {
    connect(&thumbnails_, &ThumbnailCache::ready, this, &SongListModel::thumbnailReady);
}

void SongListModel::reload(Mode mode) {
    beginResetModel();
    mode_ = mode;
    endResetModel();
}

const Song* SongListModel::songAt(int row) const {
    return mode_ == Mode::Queue ? songs_.getQueueSong(row + 1) : songs_.getFilteredSong(row);
}

int SongListModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) return 0;
    return mode_ == Mode::Queue ? std::max(0, songs_.getQueueCount() - 1) : songs_.getFilteredCount();
}

QVariant SongListModel::data(const QModelIndex& index, int role) const {
    const Song* song = index.isValid() ? songAt(index.row()) : nullptr;
    if (!song) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromUtf8(song->title());
        case SingerRole:
            return QString::fromUtf8(song->singer());
        case InQueueRole:
            return songs_.isInQueue(*song);
        case SongIdRole:
            return song->songId;
        case Qt::DecorationRole:
            return thumbnails_.pixmap(song->songId);
        default:
            return {};
    }
}

// Repaints what shows (only visible rows are drawn); the table is not reset under the
// operator's hands.
void SongListModel::thumbnailReady(std::int32_t) {
    const int rows = rowCount();
    if (rows > 0) emit dataChanged(index(0), index(rows - 1), {Qt::DecorationRole});
}

}  // namespace vocalis
