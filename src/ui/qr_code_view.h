#pragma once

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/engine_news.h"
#include "base/scheduler.h"
#include "catalogue/song_manager.h"

namespace vocalis {

// The browser remote's QR code and address in the bottom left corner of the screen: shown
// while nothing is queued (intro, idle clip, random songs) and for 10 s at each queued song's
// start. The address is asked for at each showing, so a network that came up late is found.
class QrCodeView final : public QWidget, public EngineListener {
  public:
    static constexpr Millis kShownAtStart{10000};

    QrCodeView(Scheduler& scheduler, const SongManager& songs,
               std::function<std::optional<std::string>()> address, QWidget* parent);
    ~QrCodeView() override;

    void queueChanged() override;
    void currentSongChanged(std::int32_t songId) override;

    const QString& address() const { return text_; }
    // The code alone, one pixel per module, with its quiet zone; null without an address.
    const QImage& modules() const { return modules_; }

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
};

}  // namespace vocalis
