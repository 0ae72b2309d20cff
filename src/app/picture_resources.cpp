#include "app/picture_resources.h"

#include <QDirIterator>
#include <QFileInfo>

#ifdef TAVREL_HAVE_RESOURCES
// Q_INIT_RESOURCE must be used outside any namespace; the static library's resource object is kept
// by the linker only through this reference.
static bool RegisterTavrelResources() {
    Q_INIT_RESOURCE(tavrel);
    return true;
}
#endif

namespace tavrel::app {

bool TPictureResources::Init() {
#ifdef TAVREL_HAVE_RESOURCES
    static const bool registered = RegisterTavrelResources();
    return registered;
#else
    return false;
#endif
}

QPixmap TPictureResources::LoadPicture(const QString& name) {
    Init();
    if (name.isEmpty()) {
        return {};
    }
    QDirIterator it(QStringLiteral(":/pictures"), QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        if (QFileInfo(path).completeBaseName().compare(name, Qt::CaseInsensitive) == 0) {
            return QPixmap(path);
        }
    }
    return {};
}

}  // namespace tavrel::app
