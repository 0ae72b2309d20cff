#include "app/private_picture_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using tavrel::app::TPrivatePictureFile;

QImage Filled(QColor color) {
    QImage image(8, 4, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}

mode_t ModeOf(const QString& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode;
}

class PrivatePictureFileTest : public ::testing::Test {
  protected:
    QTemporaryDir FRoot;
    QString Dir() const { return FRoot.filePath(QStringLiteral("tavrel-check")); }
};

TEST_F(PrivatePictureFileTest, Write_CreatesOwnerOnlyDirectoryAndFile) {
    ASSERT_TRUE(FRoot.isValid());
    const QString path = TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("tavrel.png"), Dir());
    EXPECT_EQ(path, QDir(Dir()).filePath(QStringLiteral("tavrel.png")));
    EXPECT_EQ(ModeOf(Dir()) & 0777, 0700u);
    EXPECT_EQ(ModeOf(path) & 0777, 0600u);
    EXPECT_EQ(QImage(path).pixelColor(0, 0), QColor(Qt::red));
}

TEST_F(PrivatePictureFileTest, Write_ReplacesOldPictureWholeAndLeavesNoTemporaryFiles) {
    ASSERT_TRUE(FRoot.isValid());
    TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("tavrel.png"), Dir());
    const QString path = TPrivatePictureFile::Write(Filled(Qt::blue), QStringLiteral("tavrel.png"), Dir());
    EXPECT_EQ(QImage(path).pixelColor(3, 2), QColor(Qt::blue));
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files | QDir::Hidden | QDir::System), QStringList{"tavrel.png"});
}

TEST_F(PrivatePictureFileTest, Write_ReplacesPlantedSymlinkInsteadOfFollowingIt) {
    ASSERT_TRUE(FRoot.isValid());
    const QString victim = FRoot.filePath(QStringLiteral("victim.txt"));
    {
        QFile f(victim);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    ASSERT_TRUE(QDir().mkpath(Dir()));
    const QString target = QDir(Dir()).filePath(QStringLiteral("tavrel.png"));
    ASSERT_TRUE(QFile::link(victim, target));

    TPrivatePictureFile::Write(Filled(Qt::green), QStringLiteral("tavrel.png"), Dir());
    EXPECT_TRUE(S_ISREG(ModeOf(target)));
    EXPECT_EQ(QImage(target).pixelColor(0, 0), QColor(Qt::green));
    QFile f(victim);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("keep me"));
}

TEST_F(PrivatePictureFileTest, Write_TightensDirectoryOpenToOthers) {
    ASSERT_TRUE(FRoot.isValid());
    ASSERT_TRUE(QDir().mkpath(Dir()));
    ASSERT_EQ(::chmod(QFile::encodeName(Dir()).constData(), 0777), 0);
    TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("tavrel.png"), Dir());
    EXPECT_EQ(ModeOf(Dir()) & 0777, 0700u);
}

TEST_F(PrivatePictureFileTest, Write_RefusesDirectoryThatIsASymlink) {
    ASSERT_TRUE(FRoot.isValid());
    const QString elsewhere = FRoot.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, Dir()));
    EXPECT_THROW(TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("tavrel.png"), Dir()), std::runtime_error);
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST_F(PrivatePictureFileTest, Write_RefusesDirectoryOfAnotherUser) {
    ASSERT_TRUE(FRoot.isValid());
    QString foreign = QStringLiteral("/");  // belongs to root
    if (::geteuid() == 0) {
        // As root, hand a fresh directory to "nobody".
        foreign = Dir();
        ASSERT_TRUE(QDir().mkpath(foreign));
        ASSERT_EQ(::chmod(QFile::encodeName(foreign).constData(), 0700), 0);
        ASSERT_EQ(::chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
    }
    EXPECT_THROW(TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("tavrel.png"), foreign),
                 std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(QDir(foreign).filePath(QStringLiteral("tavrel.png"))));
}

TEST_F(PrivatePictureFileTest, Write_RefusesNullPictureAndPathInName) {
    ASSERT_TRUE(FRoot.isValid());
    EXPECT_THROW(TPrivatePictureFile::Write(QImage(), QStringLiteral("tavrel.png"), Dir()), std::runtime_error);
    EXPECT_THROW(TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("../tavrel.png"), Dir()),
                 std::runtime_error);
    EXPECT_THROW(TPrivatePictureFile::Write(Filled(Qt::red), QStringLiteral("..\\tavrel.png"), Dir()),
                 std::runtime_error);
    EXPECT_FALSE(QFileInfo::exists(FRoot.filePath(QStringLiteral("tavrel.png"))));
}

TEST(PrivatePictureFile, DefaultDirectory_IsInsideTheUsersRuntimeOrCacheDirectory) {
    const QString dir = tavrel::app::TUserAccess::PrivateDirectory();
    EXPECT_TRUE(dir.endsWith(QStringLiteral("/tavrel-check")));
    EXPECT_NE(QFileInfo(dir).absolutePath(), QStringLiteral("/tmp"));
}

}  // namespace
