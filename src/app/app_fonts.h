#pragma once

#include <QFont>

namespace tavrel::app {

// The windows are drawn for "Tahoma" (text) and "Courier New" (readings); on Linux their metric
// stand-ins are DejaVu Sans and Liberation Mono. Missing families fall back to the system fonts.
class TAppFonts {
  public:
    static QFont UiFont(int pixelHeight);
    // Bold, fixed pitch.
    static QFont ValueFont(int pixelHeight);
};

}  // namespace tavrel::app
