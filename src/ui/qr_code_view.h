#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/engine_news.h"
#include "base/scheduler.h"
#include "catalogue/song_manager.h"
#include "ui/overlay_cache.h"

namespace vocalis {

class ScreenView;

// The browser remote's QR code and address at the screen's left edge: shown while nothing is
// queued (intro, idle clip, random songs) and for 10 s at each queued song's start. The
// address is asked for at each showing, so a network that came up late is found.
//
// Big enough to scan from three metres on a 1080p TV (9 px a module there, with the height),
// above the line where the idle clip's hint begins, and stacked just above the video: every
// overlay (title, message, picture, volume, score) covers it, never the other way round.
class QrCodeView final : public QWidget, public EngineListener {
  public:
    static constexpr Millis kShownAtStart{10000};

    QrCodeView(Scheduler& scheduler, const SongManager& songs,
               std::function<std::optional<std::string>()> address, ScreenView& screen);
    ~QrCodeView() override;

    void queueChanged() override;
    void currentSongChanged(std::int32_t songId) override;

    const QString& address() const { return text_; }
    // The code alone, one pixel per module, with its quiet zone; null without an address.
    const QImage& modules() const { return modules_; }
    // Screen pixels per module.
    int moduleSize() const { return modules_.isNull() ? 0 : codeSide_ / modules_.width(); }
    // Where the idle clip's hint line begins on a screen of that size: the clip is 16:9,
    // fitted to the screen, and its hint starts 84 % down.
    static int hintTop(QSize screen);

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void showCode();
    void place();

    Scheduler& scheduler_;
    const SongManager& songs_;
    std::function<std::optional<std::string>()> address_;
    QString text_;
    QImage modules_;
    int codeSide_ = 0;  // a whole number of pixels per module
    OverlayCache cache_;
};

}  // namespace vocalis
