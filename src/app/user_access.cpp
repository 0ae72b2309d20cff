#include "app/user_access.h"

#include <QDir>

namespace tavrel::app {

QString TUserAccess::PrivateDirectory() {
    return QDir(UserBaseDirectory()).filePath(QStringLiteral("tavrel-check"));
}

}  // namespace tavrel::app
