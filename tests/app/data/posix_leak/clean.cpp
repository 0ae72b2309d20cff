#include <cstring>

#include <QFile>

// Names in comments are no calls: ::geteuid(), lstat(path), #include <unistd.h>
/* neither here: ::close(fd); chmod(path, 0700); */
void Save(QFile& file, QIODevice* device) {
    file.write("::write(fd) and getpid() in a text");
    device->close();
    QIODevice::close();
    const char quote = '"';
    (void)quote;
}
