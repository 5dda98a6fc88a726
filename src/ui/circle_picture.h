#pragma once

#include <QImage>
#include <optional>

#include "app/overlays.h"

namespace vocalis {

// Decodes a picture (JPEG, PNG, ... as a phone sends it) and crops its centred square to a
// circle: outside the circle is transparent. nullopt when the bytes are not a picture.
// Large pictures are reduced to at most `maxSide` pixels across first.
std::optional<QImage> circlePicture(const ImageBytes& bytes, int maxSide = 1024);

}  // namespace vocalis
