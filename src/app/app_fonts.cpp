#include "app/app_fonts.h"

#include <algorithm>

#include <QFontDatabase>

namespace tavrel::app {

namespace {

QFont Pick(const QString& family, QFontDatabase::SystemFont fallback, QFont::StyleHint hint, int pixelHeight) {
    QFont font = QFontDatabase::hasFamily(family) ? QFont(family) : QFontDatabase::systemFont(fallback);
    font.setStyleHint(hint);
    font.setPixelSize(std::max(1, pixelHeight));
    return font;
}

}  // namespace

QFont TAppFonts::UiFont(int pixelHeight) {
    return Pick(QStringLiteral("DejaVu Sans"), QFontDatabase::GeneralFont, QFont::SansSerif, pixelHeight);
}

QFont TAppFonts::ValueFont(int pixelHeight) {
    QFont font = Pick(QStringLiteral("Liberation Mono"), QFontDatabase::FixedFont, QFont::TypeWriter, pixelHeight);
    font.setFixedPitch(true);
    font.setBold(true);
    return font;
}

}  // namespace tavrel::app
