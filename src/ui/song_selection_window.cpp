#include "ui/song_selection_window.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "catalogue/song_manager.h"
#include "catalogue/text_fold.h"
#include "ui/song_list_model.h"
#include "ui/thumbnail_cache.h"

namespace vocalis {

namespace {

constexpr QSize kThumbnail{80, 45};
constexpr int kRowHeight = 56;
constexpr int kScreenMargin = 20;

// A row: thumbnail, title over singer, and the check mark of a queued song (the chosen
// row shows its buttons instead).
class SongRowDelegate final : public QStyledItemDelegate {
  public:
    explicit SongRowDelegate(const int& selectedRow, QObject* parent)
        : QStyledItemDelegate(parent), selectedRow_(selectedRow) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width(), kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        painter->save();
        const bool selected = index.row() == selectedRow_;
        if (selected) painter->fillRect(option.rect, option.palette.highlight());
        const QRect row = option.rect.adjusted(6, 0, -6, 0);
        const QPixmap thumbnail = index.data(Qt::DecorationRole).value<QPixmap>();
        const QRect picture(row.left(), row.top() + (row.height() - kThumbnail.height()) / 2,
                            kThumbnail.width(), kThumbnail.height());
        if (!thumbnail.isNull()) {
            const QSize shown = thumbnail.size().scaled(kThumbnail, Qt::KeepAspectRatio);
            painter->drawPixmap(QRect(picture.topLeft(), shown), thumbnail);
        }
        const QColor text =
            selected ? option.palette.highlightedText().color() : option.palette.text().color();
        QRect words(picture.right() + 10, row.top() + 6, row.width() - kThumbnail.width() - 48,
                    row.height() - 12);
        QFont titleFont = option.font;
        titleFont.setBold(true);
        painter->setFont(titleFont);
        painter->setPen(text);
        const QFontMetrics titleMetrics(titleFont);
        painter->drawText(words.adjusted(0, 0, 0, -words.height() / 2), Qt::AlignLeft | Qt::AlignVCenter,
                          titleMetrics.elidedText(index.data().toString(), Qt::ElideRight, words.width()));
        painter->setFont(option.font);
        painter->setPen(selected ? text : option.palette.placeholderText().color());
        painter->drawText(
            words.adjusted(0, words.height() / 2, 0, 0), Qt::AlignLeft | Qt::AlignVCenter,
            QFontMetrics(option.font)
                .elidedText(index.data(SongListModel::SingerRole).toString(), Qt::ElideRight, words.width()));
        if (!selected && index.data(SongListModel::InQueueRole).toBool()) {
            // The check mark.
            QPen pen(QColor(0x2e, 0xa0, 0x43), 3);
            pen.setCapStyle(Qt::RoundCap);
            painter->setPen(pen);
            painter->setRenderHint(QPainter::Antialiasing);
            const QPoint c(row.right() - 14, row.center().y());
            painter->drawPolyline(QPolygon({c + QPoint(-8, 0), c + QPoint(-2, 6), c + QPoint(9, -7)}));
        }
        painter->restore();
    }

  private:
    const int& selectedRow_;
};

}  // namespace

QPixmap SongSelectionWindow::icon(const char* name, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x30, 0x30, 0x30));
    const double s = size;
    if (qstrcmp(name, "ic_pause") == 0) {
        painter.drawRoundedRect(QRectF(s * 0.22, s * 0.18, s * 0.2, s * 0.64), 2, 2);
        painter.drawRoundedRect(QRectF(s * 0.58, s * 0.18, s * 0.2, s * 0.64), 2, 2);
    } else {
        QPainterPath triangle;
        triangle.moveTo(s * 0.28, s * 0.16);
        triangle.lineTo(s * 0.84, s * 0.5);
        triangle.lineTo(s * 0.28, s * 0.84);
        triangle.closeSubpath();
        painter.drawPath(triangle);
    }
    return pixmap;
}

SongSelectionWindow::SongSelectionWindow(Parts parts, QWidget* parent)
    : QDialog(parent),
      parts_(std::move(parts)),
      thumbnailCache_(std::make_unique<ThumbnailCache>(parts_.thumbnails, kThumbnail, parts_.banner)),
      model_(std::make_unique<SongListModel>(parts_.songs, *thumbnailCache_)),
      txtSearch_(new QLineEdit(this)),
      spinKey_(new QSpinBox(this)),
      lblList_(new QLabel(this)),
      tableSong_(new QListView(this)),
      rowButtons_(nullptr),
      btnSelect_(nullptr),
      btnPriority_(nullptr),
      btnPlayPause_(new QPushButton(this)),
      btnClear_(new QPushButton(QStringLiteral("Xoá hàng chờ"), this)) {
    setWindowTitle(QStringLiteral("Chọn bài hát"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(460, 640);

    txtSearch_->setPlaceholderText(QStringLiteral("Tìm bài hát"));
    txtSearch_->setClearButtonEnabled(true);
    txtSearch_->installEventFilter(this);
    spinKey_->setRange(kLowestKey, kHighestKey);
    spinKey_->setPrefix(QStringLiteral("Tông "));
    spinKey_->setToolTip(QStringLiteral("Tông của bài được chọn"));
    QFont caption = lblList_->font();
    caption.setBold(true);
    lblList_->setFont(caption);
    tableSong_->setModel(model_.get());
    tableSong_->setItemDelegate(new SongRowDelegate(selectedRowPosition_, tableSong_));
    tableSong_->setUniformItemSizes(true);
    tableSong_->setSelectionMode(QAbstractItemView::NoSelection);
    tableSong_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableSong_->installEventFilter(this);
    connect(tableSong_, &QListView::clicked, this,
            [this](const QModelIndex& index) { selectRow(index.row()); });

    auto* transport = new QHBoxLayout;
    auto button = [this, transport](const QString& label, CommandKind kind) {
        auto* b = new QPushButton(label, this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, kind] { issue(kind); });
        transport->addWidget(b);
        return b;
    };
    button(QStringLiteral("Hát lại"), CommandKind::Replay);
    btnPlayPause_->setAutoDefault(false);
    btnPlayPause_->setIconSize({24, 24});
    connect(btnPlayPause_, &QPushButton::clicked, this, [this] { issue(CommandKind::PlayPause); });
    transport->addWidget(btnPlayPause_);
    button(QStringLiteral("Bài kế"), CommandKind::Next);
    button(QStringLiteral("Karaoke"), CommandKind::SwitchTrack);
    button(QStringLiteral("Âm lượng −"), CommandKind::VolumeDown);
    button(QStringLiteral("Âm lượng +"), CommandKind::VolumeUp);

    auto* layout = new QVBoxLayout(this);
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(txtSearch_, 1);
    searchRow->addWidget(spinKey_);
    layout->addLayout(searchRow);
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(lblList_, 1);
    // Every waiting song leaves; the song playing plays on.
    btnClear_->setAutoDefault(false);
    connect(btnClear_, &QPushButton::clicked, this, [this] { issue(CommandKind::ClearQueue); });
    listRow->addWidget(btnClear_);
    layout->addLayout(listRow);
    layout->addWidget(tableSong_, 1);
    layout->addLayout(transport);

    connect(txtSearch_, &QLineEdit::textChanged, this, &SongSelectionWindow::searchChanged);
    updatePlayState(parts_.playing);
    searchChanged();
}

// A view outliving its model lets go of it when the model goes.
SongSelectionWindow::~SongSelectionWindow() = default;

void SongSelectionWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The top right corner of the screen, clear of the edges.
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - frameGeometry().width() - kScreenMargin, area.top() + kScreenMargin);
    }
    txtSearch_->setFocus();
    txtSearch_->selectAll();
}

void SongSelectionWindow::searchChanged() {
    const QString typed = txtSearch_->text();
    const bool searching = !typed.isEmpty();
    lblList_->setText(searching ? QStringLiteral("Kết quả tìm kiếm") : QStringLiteral("Bài hát đã chọn"));
    btnClear_->setVisible(!searching);
    parts_.songs.filter(foldKeyword(typed.toStdString()));
    selectedRowPosition_ = -1;
    rowButtons_ = btnSelect_ = btnPriority_ = nullptr;
    model_->reload(searching ? SongListModel::Mode::Search : SongListModel::Mode::Queue);
    tableSong_->scrollToTop();
}

void SongSelectionWindow::updateData() {
    selectedRowPosition_ = -1;
    rowButtons_ = btnSelect_ = btnPriority_ = nullptr;
    model_->reload(model_->mode());
}

void SongSelectionWindow::updatePlayState(bool playing) {
    playing_ = playing;
    btnPlayPause_->setIcon(QIcon(icon(playing ? "ic_pause" : "ic_play", 48)));
    btnPlayPause_->setToolTip(playing ? QStringLiteral("Tạm dừng") : QStringLiteral("Phát"));
}

void SongSelectionWindow::selectRow(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    if (rowButtons_) tableSong_->setIndexWidget(model_->index(selectedRowPosition_), nullptr);
    selectedRowPosition_ = row;
    placeRowButtons();
    tableSong_->scrollTo(model_->index(row));
    tableSong_->viewport()->update();
}

// The chosen row's two buttons, over the right end of that row only.
void SongSelectionWindow::placeRowButtons() {
    const bool queue = model_->mode() == SongListModel::Mode::Queue;
    rowButtons_ = new QWidget;
    auto* layout = new QHBoxLayout(rowButtons_);
    layout->setContentsMargins(0, 0, 8, 0);
    layout->addStretch();
    btnSelect_ = new QPushButton(queue ? QStringLiteral("Xoá") : QStringLiteral("Chọn"), rowButtons_);
    btnPriority_ = new QPushButton(QStringLiteral("Ưu tiên"), rowButtons_);
    for (QPushButton* b : {btnSelect_, btnPriority_}) {
        b->setAutoDefault(false);
        layout->addWidget(b);
    }
    connect(btnSelect_, &QPushButton::clicked, this, [this] { chooseSelected(false); });
    connect(btnPriority_, &QPushButton::clicked, this, [this] { chooseSelected(true); });
    tableSong_->setIndexWidget(model_->index(selectedRowPosition_), rowButtons_);
}

void SongSelectionWindow::chooseSelected(bool priority) {
    const Song* song = model_->songAt(selectedRowPosition_);
    if (!song) return;
    if (model_->mode() == SongListModel::Mode::Queue)
        issue(priority ? CommandKind::MoveWaitingFirst : CommandKind::RemoveWaiting, selectedRowPosition_);
    else
        parts_.commands.issue(Command::addSong(song->songId, priority, {}, spinKey_->value()),
                              CommandSource::Operator);
    updateData();
}

void SongSelectionWindow::issue(CommandKind kind, std::int32_t value) {
    parts_.commands.issue({kind, value}, CommandSource::Operator);
}

// Up and Down move the chosen row from the search field too; Enter chooses it.
bool SongSelectionWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == txtSearch_ || watched == tableSong_) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int rows = model_->rowCount();
        switch (key->key()) {
            case Qt::Key_Down:
                if (rows > 0) selectRow(std::min(selectedRowPosition_ + 1, rows - 1));
                return true;
            case Qt::Key_Up:
                if (rows > 0) selectRow(std::max(selectedRowPosition_ - 1, 0));
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                if (selectedRowPosition_ >= 0) chooseSelected(key->modifiers() & Qt::ShiftModifier);
                return true;
            default:
                break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

}  // namespace vocalis
