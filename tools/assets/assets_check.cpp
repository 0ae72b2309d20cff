// Checks the committed pictures the app embeds: every file of the resource list is present, has the size the
// windows lay out for, carries an alpha channel, and is not an empty or fully opaque canvas.

#include <cstdio>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QString>

namespace {

struct Expected {
    const char* path;
    int width;
    int minHeight;
    int maxHeight;
};

constexpr Expected kPictures[] = {
    {"pictures/REG1.png", 1063, 346, 347},
    {"pictures/REG2.png", 1063, 346, 347},
    {"pictures/REG3.png", 1063, 346, 347},
    {"pictures/IPP_VOLT.png", 1063, 346, 347},
    {"pictures/IPP_AMPERE.png", 1063, 346, 347},
    {"images/logo.png", 3279, 629, 629},
    {"icons/sb0.png", 16, 16, 16},
    {"icons/sb1.png", 16, 16, 16},
    {"icons/sb2.png", 16, 16, 16},
    {"icons/sb3.png", 16, 16, 16},
    {"icons/sb4.png", 16, 16, 16},
    {"icons/sb5.png", 16, 16, 16},
    {"icons/sb6.png", 16, 16, 16},
};

int failures = 0;

void Fail(const QString& what) {
    std::fprintf(stderr, "FAIL: %s\n", qPrintable(what));
    ++failures;
}

void CheckPicture(const QString& root, const Expected& e) {
    const QString path = root + QLatin1Char('/') + QLatin1String(e.path);
    const QImage img(path);
    if (img.isNull()) {
        Fail(path + QStringLiteral(": cannot be read as an image"));
        return;
    }
    if (img.width() != e.width || img.height() < e.minHeight || img.height() > e.maxHeight)
        Fail(QStringLiteral("%1: %2x%3, expected %4x%5")
                 .arg(path)
                 .arg(img.width())
                 .arg(img.height())
                 .arg(e.width)
                 .arg(e.minHeight));
    if (!img.hasAlphaChannel()) {
        Fail(path + QStringLiteral(": no alpha channel"));
        return;
    }
    const QImage argb = img.convertToFormat(QImage::Format_ARGB32);
    long opaque = 0;
    long transparent = 0;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            const int a = qAlpha(argb.pixel(x, y));
            opaque += a == 255 ? 1 : 0;
            transparent += a == 0 ? 1 : 0;
        }
    const long total = static_cast<long>(argb.width()) * argb.height();
    // A drawing covers a real share of its canvas and leaves background showing around it.
    if (opaque < total / 20)
        Fail(QStringLiteral("%1: only %2 of %3 pixels are opaque").arg(path).arg(opaque).arg(total));
    if (transparent < total / 20)
        Fail(QStringLiteral("%1: only %2 of %3 pixels are transparent").arg(path).arg(transparent).arg(total));
}

// The resource list must name exactly the pictures above, so that ":/pictures/REG1.png" and the rest resolve.
void CheckResourceList(const QString& root) {
    QFile qrc(root + QStringLiteral("/tavrel.qrc"));
    if (!qrc.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Fail(qrc.fileName() + QStringLiteral(": cannot be opened"));
        return;
    }
    const QString text = QString::fromUtf8(qrc.readAll());
    if (!text.contains(QStringLiteral("<qresource prefix=\"/\">")))
        Fail(QStringLiteral("tavrel.qrc: the resources are not under the prefix \"/\""));
    QSet<QString> listed;
    const QRegularExpression file(QStringLiteral("<file>([^<]+)</file>"));
    for (auto it = file.globalMatch(text); it.hasNext();)
        listed.insert(it.next().captured(1));
    QSet<QString> expected;
    for (const Expected& e : kPictures)
        expected.insert(QLatin1String(e.path));
    for (const QString& missing : expected - listed)
        Fail(QStringLiteral("tavrel.qrc does not list %1").arg(missing));
    for (const QString& extra : listed - expected)
        Fail(QStringLiteral("tavrel.qrc lists the unexpected %1").arg(extra));
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <resource directory>\n", argv[0]);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    CheckResourceList(root);
    for (const Expected& e : kPictures)
        CheckPicture(root, e);
    if (failures == 0)
        std::printf("all %d pictures are in order\n", static_cast<int>(std::size(kPictures)));
    return failures == 0 ? 0 : 1;
}
