#include "app/ui_support.h"

#include <QFile>

#include "app/about_box.h"
#include "app/app_fonts.h"
#include "app/form_info_power.h"
#include "app/form_memory_info.h"
#include "app/form_setting_channel.h"
#include "app/halvo.h"
#include "app/picture_resources.h"
#include "app/private_picture_file.h"

namespace tavrel::app {

QFont SansFont(int pixelSize) {
    return TAppFonts::UiFont(pixelSize);
}

QFont MonoFont(int pixelSize) {
    return TAppFonts::ValueFont(pixelSize);
}

QImage LoadPicture(const QString& name) {
    return TPictureResources::LoadPicture(name).toImage();
}

QImage LoadLogo() {
    TPictureResources::Init();
    return QImage(QStringLiteral(":/images/logo.png"));
}

QImage LoadStatusIcon(int index) {
    TPictureResources::Init();
    return QImage(QStringLiteral(":/icons/sb%1.png").arg(index));
}

void OpenPictureFullSize(QWidget* owner, const QImage& picture) {
    // A private directory of the user, never a shared temporary one: no other user can swap the file.
    const QString path = TPrivatePictureFile::Write(picture, QStringLiteral("tavrel.png"));
    if (QFile::exists(path)) {
        THalvo::ShellExecute(owner, QStringLiteral("open"), path, QString(), QString(), 1);
    }
}

void ShowMessage(QWidget* owner, const QString& text, bool error) {
    THalvo::MessageDialog(owner, text, error ? THalvo::ICONERROR : THalvo::ICONINFORMATION, THalvo::OK, THalvo::RUS);
}

void ShowAboutBox(QWidget* owner) {
    TAboutBox::ButtonAboutClick(owner);
}

QString AppTitle() {
    return TAboutBox::AppTitle();
}

void OpenChannelSettingsDialog(link::TXComPortModule& module) {
    TFormSettingChannel dialog(module, THalvo::isDebug());
    dialog.exec();
}

void OpenPowerDialog(link::TXComPortModule& module) {
    TFormInfoPower dialog(module);
    dialog.exec();
}

void OpenMemoryDialog(link::TXComPortModule& module) {
    TFormMemoryInfo dialog(module);
    dialog.exec();
}

}  // namespace tavrel::app
