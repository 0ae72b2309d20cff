#pragma once

#include <QPixmap>
#include <QString>

namespace tavrel::app {

// The pictures built into the program (wiring pictures, logo, status-bar icons).
class TPictureResources {
  public:
    // Registers the built-in resources; safe to call more than once. False when the build has none.
    static bool Init();
    // The wiring picture under ":/pictures/" whose base name equals `name` ignoring case
    // ("reg1" -> REG1.png); a null pixmap when there is none.
    static QPixmap LoadPicture(const QString& name);
};

}  // namespace tavrel::app
