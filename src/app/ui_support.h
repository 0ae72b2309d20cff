#pragma once

#include <QFont>
#include <QImage>
#include <QString>

class QWidget;

namespace tavrel::link {
class TXComPortModule;
}

namespace tavrel::app {

// Where the windows meet the support library and the dialogs: fonts, pictures, message boxes,
// the about box and the modal dialogs opened from the frames and the status bar.

// The form font ("Tahoma") and the reading font ("Courier New") at a pixel height.
QFont SansFont(int pixelSize);
QFont MonoFont(int pixelSize);

// A wiring picture by its resource name, without regard to case ("reg1", "IPP_VOLT"); null if missing.
QImage LoadPicture(const QString& name);
QImage LoadLogo();
// Icon `index` (0..6) of the status bar's image list, 16 x 16.
QImage LoadStatusIcon(int index);

// Writes the picture as "tavrel.png" into the user's private temporary directory and opens it with
// the associated viewer. Throws on failure.
void OpenPictureFullSize(QWidget* owner, const QImage& picture);

// Message box with the Russian captions and an OK button: error or information icon.
void ShowMessage(QWidget* owner, const QString& text, bool error);
void ShowAboutBox(QWidget* owner);

// "Поверка Таврель «Ордалит» (NN-bit)".
QString AppTitle();

// Modal dialogs, created without owner and destroyed when they close.
void OpenChannelSettingsDialog(link::TXComPortModule& module);
void OpenPowerDialog(link::TXComPortModule& module);
void OpenMemoryDialog(link::TXComPortModule& module);

}  // namespace tavrel::app
