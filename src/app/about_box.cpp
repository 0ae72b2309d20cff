#include "app/about_box.h"

#include "app/halvo.h"

namespace tavrel::app {

namespace {

const QString kVersionPrefix = QStringLiteral("Версия: v1.");

}  // namespace

QString TAboutBox::AppTitle() {
    return QStringLiteral("%1 (%2-bit)").arg(QStringLiteral("Поверка Таврель «Ордалит»"), THalvo::AppX32_64());
}

QString TAboutBox::YearsText(int buildYear) {
    if (buildYear > kFirstYear) {
        return QStringLiteral("%1 - %2").arg(kFirstYear).arg(buildYear);
    }
    return QString::number(kFirstYear);
}

QString TAboutBox::AboutText(const QString& versionLine, int buildYear) {
    const QString crlf = QStringLiteral("\r\n");
    return AppTitle() + crlf + versionLine + crlf + crlf + QStringLiteral("© %1 «Ордалит»").arg(YearsText(buildYear));
}

QString TAboutBox::AboutText() {
    return AboutText(THalvo::GetAppVersion(false, kVersionPrefix), THalvo::GetAppVersion(true, kVersionPrefix).toInt());
}

void TAboutBox::ButtonAboutClick(QWidget* owner) {
    THalvo::MessageDialog(owner, AboutText(), THalvo::ICONINFORMATION, THalvo::OK, THalvo::RUS);
}

}  // namespace tavrel::app
