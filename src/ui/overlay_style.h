#pragma once

#include <QFont>

namespace vocalis {

// Fonts with Vietnamese marks, in order of preference.
QFont overlayFont(int pixelSize, bool bold);

// How much bigger than a 720-line screen the screen is: sizes scale with it so the
// overlays read the same from across the room on any screen.
qreal screenScale(int screenHeight);

}  // namespace vocalis
