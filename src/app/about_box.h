#pragma once

#include <QString>

class QWidget;

namespace tavrel::app {

// The about box: a message box with the title, the build and the maker.
class TAboutBox {
  public:
    static constexpr int kFirstYear = 2024;

    // "Поверка Таврель «Ордалит» (64-bit)".
    static QString AppTitle();
    // "2024", or "2024 - <buildYear>" for a later build year.
    static QString YearsText(int buildYear);
    // Title, version line, empty line, closing line; lines separated by CR LF.
    static QString AboutText();
    static QString AboutText(const QString& versionLine, int buildYear);
    // Shows the box owned by `owner` (information icon, OK, Russian captions) until it is closed.
    static void ButtonAboutClick(QWidget* owner);
};

}  // namespace tavrel::app
