#pragma once

#include <QDialog>
#include <QPixmap>
#include <memory>

#include "app/engine_command.h"
#include "app/engine_news.h"

class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QSpinBox;

namespace vocalis {

class SongListModel;
class SongManager;
class ThumbnailCache;
class ThumbnailManager;

// The operator's song selection: search as you type, the waiting songs when nothing is
// typed, select and priority buttons on the chosen row, and the transport buttons. Every
// change goes to the engine as a command, the same way a phone's does.
class SongSelectionWindow final : public QDialog, public EngineListener {
    Q_OBJECT

  public:
    struct Parts {
        SongManager& songs;
        const ThumbnailManager& thumbnails;
        CommandSink& commands;
        QPixmap banner;  // the picture of songs without a thumbnail
        bool playing = false;
    };

    explicit SongSelectionWindow(Parts parts, QWidget* parent = nullptr);
    ~SongSelectionWindow() override;

    // Forgets the chosen row and shows the queue and the search as they are now.
    void updateData();
    void updatePlayState(bool playing);

    // EngineListener
    void queueChanged() override { updateData(); }
    void currentSongChanged(std::int32_t) override { updateData(); }
    void playStateChanged(bool playing) override { updatePlayState(playing); }

    QLineEdit* txtSearch() const { return txtSearch_; }
    QListView* tableSong() const { return tableSong_; }
    QLabel* lblList() const { return lblList_; }
    QPushButton* btnPlayPause() const { return btnPlayPause_; }
    QPushButton* btnClear() const { return btnClear_; }
    QPushButton* btnSelect() const { return btnSelect_; }
    QPushButton* btnPriority() const { return btnPriority_; }
    QSpinBox* spinKey() const { return spinKey_; }
    const SongListModel& model() const { return *model_; }
    int selectedRowPosition() const { return selectedRowPosition_; }
    bool showsPause() const { return playing_; }

    // The pictures of the play and pause buttons.
    static QPixmap icon(const char* name, int size);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void searchChanged();
    void selectRow(int row);
    void placeRowButtons();
    void chooseSelected(bool priority);
    void issue(CommandKind kind, std::int32_t value = 0);

    Parts parts_;
    std::unique_ptr<ThumbnailCache> thumbnailCache_;
    std::unique_ptr<SongListModel> model_;
    QLineEdit* txtSearch_;
    QSpinBox* spinKey_;  // the key a song chosen here is sung in
    QLabel* lblList_;
    QListView* tableSong_;
    QWidget* rowButtons_;
    QPushButton* btnSelect_;
    QPushButton* btnPriority_;
    QPushButton* btnPlayPause_;
    QPushButton* btnClear_;
    int selectedRowPosition_ = -1;
    bool playing_ = false;
};

}  // namespace vocalis
