#include "app/frame_channel.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QUrl>
#include <QTest>
#include <gtest/gtest.h>

#include "app/grid_panel.h"
#include "app/image.h"
#include "app/main_form.h"
#include "app/private_picture_file.h"
#include "app/ui_support.h"
#include "app_test_support.h"
#include "main_form_fixture.h"
#include "protocol/tavrel.h"

namespace {

using tavrel::app::TFrameChannel;
using tavrel::test::MeasureBody;
using tavrel::test::ModelFromAnswers;
using tavrel::test::TModalCloser;

struct TLayoutCase {
    int WorkState;
    int Columns;
    std::vector<const char*> Names;
    std::vector<const char*> Channels;
    std::vector<const char*> Pictures;
    std::vector<const char*> Values;
    bool Clickable;
};

class FramesPerLayout : public tavrel::test::MainFormFixture, public ::testing::WithParamInterface<TLayoutCase> {
  protected:
    std::unique_ptr<tavrel::protocol::TTavrel> Model =
        ModelFromAnswers({MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1")});
};

TEST_P(FramesPerLayout, UpdateChannelFrames_BuildsNamedFramesWithTextsAndPictures) {
    const TLayoutCase& c = GetParam();
    Form->WorkState = static_cast<std::uint8_t>(c.WorkState);
    Form->UpdateChannelFrames(Model.get());
    EXPECT_EQ(Form->GP->Tag(), c.WorkState);
    EXPECT_EQ(Form->GP->RowCount(), 1);
    ASSERT_EQ(Form->GP->ColumnCount(), c.Columns);
    for (int col = 0; col < c.Columns; ++col) {
        EXPECT_DOUBLE_EQ(Form->GP->ColumnPercent(col), 100.0 / c.Columns);
    }
    ASSERT_EQ(Form->GP->ControlCount(), static_cast<int>(c.Names.size()));
    for (std::size_t k = 0; k < c.Names.size(); ++k) {
        auto* frame = qobject_cast<TFrameChannel*>(Form->GP->Control(static_cast<int>(k)));
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(frame->objectName(), QString::fromLatin1(c.Names[k]));
        EXPECT_EQ(frame->LabelChannelName->text(), QString::fromUtf8(c.Channels[k]));
        EXPECT_EQ(frame->LabelChannelValue->text(), QString::fromUtf8(c.Values[k]));
        EXPECT_FALSE(frame->LabelChannelRange->text().isEmpty());
        const QImage expected = tavrel::app::LoadPicture(QString::fromLatin1(c.Pictures[k]));
        ASSERT_FALSE(expected.isNull()) << c.Pictures[k];
        EXPECT_EQ(frame->Image1->Picture(), expected) << c.Pictures[k];
        EXPECT_EQ(frame->Image1->cursor().shape(), Qt::PointingHandCursor);
        EXPECT_EQ(frame->LabelChannelName->cursor().shape(), c.Clickable ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, FramesPerLayout,
    ::testing::Values(TLayoutCase{0,
                                  3,
                                  {"FrameChannel0", "FrameChannel1", "FrameChannel2"},
                                  {"Канал 1", "Канал 2", "Канал 3"},
                                  {"REG1", "REG2", "REG3"},
                                  {"+012.3 мВ", "-3.500 В", "+50.00 мВ"},
                                  true},
                      TLayoutCase{1, 1, {"FrameChannel1"}, {"Канал 2"}, {"IPP_VOLT"}, {"-3.500 В"}, false},
                      TLayoutCase{2, 1, {"FrameChannel2"}, {"Канал 3"}, {"IPP_AMPERE"}, {"+50.00 мВ"}, false}));

using Frames = tavrel::test::MainFormFixture;

TEST_F(Frames, LayoutChange_FreesTheThreeFramesAndCreatesOne) {
    auto model = ModelFromAnswers({MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1")});
    Form->WorkState = 0;
    Form->UpdateChannelFrames(model.get());
    ASSERT_EQ(Form->GP->ControlCount(), 3);
    QPointer<QWidget> old = Form->GP->Control(0);
    Form->WorkState = 2;
    Form->UpdateChannelFrames(model.get());
    EXPECT_TRUE(old.isNull());
    ASSERT_EQ(Form->GP->ControlCount(), 1);
    EXPECT_EQ(Form->GP->Control(0)->objectName(), QStringLiteral("FrameChannel2"));
    EXPECT_EQ(Form->GP->ColumnCount(), 1);
}

TEST_F(Frames, NoConfirmedLayout_ShowsNothing) {
    auto model = ModelFromAnswers({MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1")});
    Form->UpdateChannelFrames(model.get());
    EXPECT_EQ(Form->GP->ControlCount(), 0);
    EXPECT_EQ(Form->GP->Tag(), -1);
}

TEST_F(Frames, MissingPicture_LeavesItEmptyWithDefaultCursorAndLabelsFilled) {
    auto model = ModelFromAnswers({MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1")});
    Form->WorkState = 0;
    Form->UpdateChannelFrames(model.get());
    auto* frame = static_cast<TFrameChannel*>(Form->GP->Control(0));
    frame->UpdateData(7, model.get(), false);
    EXPECT_FALSE(frame->Image1->HasPicture());
    EXPECT_EQ(frame->Image1->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(frame->LabelChannelName->text(), QStringLiteral("Канал 8"));
}

// Clicks in the registrator layout open the channel settings; in single layouts only the picture reacts.
class FrameClicks : public tavrel::test::MainFormFixture, public ::testing::WithParamInterface<int> {};

TEST_P(FrameClicks, LabelsAndPanelsOpenSettingsOnlyInRegistratorLayout) {
    auto model = ModelFromAnswers({MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1")});
    Form->WorkState = static_cast<std::uint8_t>(GetParam());
    Form->UpdateChannelFrames(model.get());
    Form->show();
    auto* frame = static_cast<TFrameChannel*>(Form->GP->Control(0));
    for (QWidget* target :
         {static_cast<QWidget*>(frame->LabelChannelName), static_cast<QWidget*>(frame->LabelChannelValue),
          static_cast<QWidget*>(frame->TopPanel), static_cast<QWidget*>(frame->Panel)}) {
        TModalCloser closer;
        QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(2, 2));
        QApplication::processEvents();
        EXPECT_EQ(closer.Classes.size(), GetParam() == 0 ? 1U : 0U) << target->objectName().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, FrameClicks, ::testing::Values(0, 1, 2));

// Stands in for the desktop's picture viewer.
class TOpenRecorder : public QObject {
    Q_OBJECT

  public:
    Q_INVOKABLE void Open(const QUrl& url) { Urls.push_back(url); }
    std::vector<QUrl> Urls;
};

class FramePicture : public tavrel::test::MainFormFixture {
  protected:
    void SetUp() override {
        MainFormFixture::SetUp();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &Viewer, "Open");
    }
    void TearDown() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        MainFormFixture::TearDown();
    }
    TOpenRecorder Viewer;
};

TEST_F(FramePicture, Click_WritesPrivateCopyAndOpensItInTheViewer) {
    auto model = ModelFromAnswers({MeasureBody(0.0123, "1", -3.5, "10", 0.05, "0.1")});
    Form->WorkState = 1;
    Form->UpdateChannelFrames(model.get());
    Form->show();
    auto* frame = static_cast<TFrameChannel*>(Form->GP->Control(0));
    ASSERT_TRUE(frame->Image1->HasPicture());
    QTest::mouseClick(frame->Image1, Qt::LeftButton, {}, frame->Image1->rect().center());
    ASSERT_EQ(Viewer.Urls.size(), 1U);
    const QString path = Viewer.Urls[0].toLocalFile();
    const QFileInfo info(path);
    EXPECT_EQ(info.fileName(), QStringLiteral("tavrel.png"));
    EXPECT_EQ(info.absolutePath(), QFileInfo(tavrel::app::TUserAccess::PrivateDirectory()).absoluteFilePath());
    EXPECT_FALSE(path.startsWith(QStringLiteral("/tmp/tavrel.png")));
    EXPECT_EQ(info.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    const QImage written(path);
    EXPECT_EQ(written.size(), frame->Image1->Picture().size());
    EXPECT_EQ(written.convertToFormat(QImage::Format_ARGB32),
              frame->Image1->Picture().convertToFormat(QImage::Format_ARGB32));

    // Without a picture a click does nothing.
    frame->Image1->ClearPicture();
    QTest::mouseClick(frame->Image1, Qt::LeftButton, {}, frame->Image1->rect().center());
    EXPECT_EQ(Viewer.Urls.size(), 1U);
}

}  // namespace

#include "frame_channel_test.moc"
