#pragma once

#include <QColor>
#include <QFont>

class QWidget;

namespace vocalis {

// Fonts with Vietnamese marks, in order of preference.
QFont overlayFont(int pixelSize, bool bold);

// A soft shadow around a widget's drawing (a glow when the colour is light).
void addShadow(QWidget* widget, const QColor& color, qreal blurRadius);

// How much bigger than a 720-line screen the screen is: sizes scale with it so the
// overlays read the same from across the room on any screen.
qreal screenScale(int screenHeight);

}  // namespace vocalis
