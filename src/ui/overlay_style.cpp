#include "ui/overlay_style.h"

#include <QStringList>
#include <algorithm>

namespace vocalis {

QFont overlayFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(
        {QStringLiteral("Noto Sans"), QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPixelSize(std::max(1, pixelSize));
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

qreal screenScale(int screenHeight) { return std::max<qreal>(0.5, screenHeight / 720.0); }

}  // namespace vocalis
