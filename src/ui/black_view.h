#pragma once

#include <QPainter>
#include <QWidget>

namespace vocalis {

// The black cover: opaque black over the video while a broken song is dealt with.
class BlackView final : public QWidget {
  public:
    explicit BlackView(QWidget* parent = nullptr) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

  protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), Qt::black); }
};

}  // namespace vocalis
