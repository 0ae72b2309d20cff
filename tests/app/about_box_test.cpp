#include "app/about_box.h"

#include <QFontInfo>
#include <QImage>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

#include "app/app_fonts.h"
#include "app/halvo.h"
#include "app/picture_resources.h"

namespace {

using tavrel::app::TAboutBox;

struct TYearsCase {
    int BuildYear;
    const char* Expected;
};

class AboutYearsTest : public ::testing::TestWithParam<TYearsCase> {};

TEST_P(AboutYearsTest, FirstYearAloneUntilALaterBuild) {
    EXPECT_EQ(TAboutBox::YearsText(GetParam().BuildYear), QString::fromUtf8(GetParam().Expected));
}

INSTANTIATE_TEST_SUITE_P(AboutBox, AboutYearsTest,
                         ::testing::Values(TYearsCase{2023, "2024"}, TYearsCase{2024, "2024"},
                                           TYearsCase{2025, "2024 - 2025"}, TYearsCase{2026, "2024 - 2026"}));

TEST(AboutBox, AppTitle_FixedTitleWithBitness) {
    EXPECT_EQ(TAboutBox::AppTitle(), QStringLiteral("Поверка Таврель «Ордалит» (%1-bit)").arg(sizeof(void*) * 8));
}

TEST(AboutBox, AboutText_TitleVersionEmptyLineAndMakerWithYears) {
    const QStringList lines =
        TAboutBox::AboutText(QStringLiteral("Версия: v1.010226.120000"), 2026).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], TAboutBox::AppTitle());
    EXPECT_EQ(lines[1], QStringLiteral("Версия: v1.010226.120000"));
    EXPECT_TRUE(lines[2].isEmpty());
    EXPECT_TRUE(lines[3].contains(QStringLiteral("2024 - 2026"))) << lines[3].toStdString();
    EXPECT_TRUE(lines[3].contains(QStringLiteral("«Ордалит»")));
}

TEST(AboutBox, AboutText_VersionLineOfThisBuild) {
    const QStringList lines = TAboutBox::AboutText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[1], tavrel::app::THalvo::GetAppVersion(false, QStringLiteral("Версия: v1.")));
    EXPECT_TRUE(lines[1].contains(QRegularExpression(QStringLiteral("^Версия: v1\\.\\d{6}\\.\\d{6}$"))));
    EXPECT_TRUE(lines[3].contains(TAboutBox::YearsText(tavrel::app::THalvo::BuildTime().date().year())));
}

TEST(AppFonts, UiAndValueFontsAtPixelHeight) {
    const QFont ui = tavrel::app::TAppFonts::UiFont(11);
    const QFont value = tavrel::app::TAppFonts::ValueFont(43);
    EXPECT_EQ(ui.pixelSize(), 11);
    EXPECT_EQ(value.pixelSize(), 43);
    EXPECT_TRUE(value.bold());
    EXPECT_TRUE(QFontInfo(value).fixedPitch());
    EXPECT_EQ(QFontInfo(ui).family(), QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(QFontInfo(value).family(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(tavrel::app::TAppFonts::UiFont(0).pixelSize(), 1);
}

struct TPictureCase {
    const char* Name;
    const char* File;
};

class LoadPictureTest : public ::testing::TestWithParam<TPictureCase> {};

TEST_P(LoadPictureTest, FindsPictureIgnoringCase) {
    if (!tavrel::app::TPictureResources::Init()) {
        GTEST_SKIP() << "this build has no resources";
    }
    const QPixmap picture = tavrel::app::TPictureResources::LoadPicture(QString::fromLatin1(GetParam().Name));
    ASSERT_FALSE(picture.isNull());
    const QImage expected(QStringLiteral(":/pictures/%1").arg(QString::fromLatin1(GetParam().File)));
    ASSERT_FALSE(expected.isNull());
    EXPECT_EQ(picture.toImage().convertToFormat(expected.format()), expected);
}

INSTANTIATE_TEST_SUITE_P(PictureResources, LoadPictureTest,
                         ::testing::Values(TPictureCase{"reg1", "REG1.png"}, TPictureCase{"REG2", "REG2.png"},
                                           TPictureCase{"Reg3", "REG3.png"}, TPictureCase{"ipp_volt", "IPP_VOLT.png"},
                                           TPictureCase{"IPP_Ampere", "IPP_AMPERE.png"}));

TEST(PictureResources, UnknownOrPartialNameGivesNullPixmap) {
    if (!tavrel::app::TPictureResources::Init()) {
        GTEST_SKIP() << "this build has no resources";
    }
    for (const char* name : {"", "reg", "reg1.png", "logo", "REG4", "pictures/REG1"}) {
        EXPECT_TRUE(tavrel::app::TPictureResources::LoadPicture(QString::fromLatin1(name)).isNull()) << name;
    }
}

}  // namespace
