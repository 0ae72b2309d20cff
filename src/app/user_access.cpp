#include "app/user_access.h"

#include <QDir>
#include <QStandardPaths>

namespace tavrel::app {

QString TUserAccess::PrivateDirectory() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (base.isEmpty()) {
        base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    }
    return QDir(base).filePath(QStringLiteral("tavrel-check"));
}

}  // namespace tavrel::app
