#include "app/frame_channel.h"

#include <array>

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QQueue>
#include <QVBoxLayout>

#include "app/grid_panel.h"
#include "app/image.h"
#include "app/ui_support.h"
#include "link/xcom_port_module.h"
#include "protocol/tavrel.h"

namespace tavrel::app {

namespace {

QFrame* MakePanel(QWidget* parent, const char* name, bool bordered) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(QString::fromLatin1(name));
    if (bordered) {
        panel->setFrameShape(QFrame::Box);
        panel->setFrameShadow(QFrame::Plain);
        panel->setLineWidth(1);
    }
    return panel;
}

}  // namespace

TFrameChannel::TFrameChannel(bool AllowClick, const protocol::TTavrel& model, int ChannelNumber, TGridPanel* parent)
    : QFrame(nullptr) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    outer->setSpacing(0);

    FMainPanel = MakePanel(this, "PanelMain", true);
    FMainPanel->setAutoFillBackground(true);
    outer->addWidget(FMainPanel);
    auto* main = new QVBoxLayout(FMainPanel);
    main->setContentsMargins(1, 1, 1, 1);
    main->setSpacing(0);

    TopPanel = MakePanel(FMainPanel, "TopPanel", false);
    TopPanel->setFixedHeight(41);
    auto* top = new QHBoxLayout(TopPanel);
    top->setContentsMargins(8, 2, 8, 2);
    top->setSpacing(0);
    LabelChannelName = new QLabel(TopPanel);
    LabelChannelName->setObjectName(QStringLiteral("LabelChannelName"));
    LabelChannelName->setFont(SansFont(19));
    LabelChannelName->setText(QStringLiteral("Канал"));
    top->addWidget(LabelChannelName);
    Spacer = new QWidget(TopPanel);
    Spacer->setObjectName(QStringLiteral("Spacer"));
    Spacer->setFixedWidth(16);
    top->addWidget(Spacer);
    LabelChannelRange = new QLabel(TopPanel);
    LabelChannelRange->setObjectName(QStringLiteral("LabelChannelRange"));
    LabelChannelRange->setFont(SansFont(19));
    LabelChannelRange->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabelChannelRange->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    {
        QPalette grey = LabelChannelRange->palette();
        grey.setColor(QPalette::WindowText, QColor(0x80, 0x80, 0x80));
        LabelChannelRange->setPalette(grey);
    }
    top->addWidget(LabelChannelRange, 1);
    main->addWidget(TopPanel);

    Panel = MakePanel(FMainPanel, "Panel", false);
    auto* middle = new QVBoxLayout(Panel);
    middle->setContentsMargins(0, 0, 0, 0);
    LabelChannelValue = new QLabel(Panel);
    LabelChannelValue->setObjectName(QStringLiteral("LabelChannelValue"));
    QFont valueFont = MonoFont(43);
    valueFont.setBold(true);
    LabelChannelValue->setFont(valueFont);
    LabelChannelValue->setAlignment(Qt::AlignCenter);
    LabelChannelValue->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    middle->addWidget(LabelChannelValue);
    main->addWidget(Panel, 1);

    BottomPanel = MakePanel(FMainPanel, "BottomPanel", true);
    BottomPanel->setFixedHeight(157);
    auto* bottom = new QVBoxLayout(BottomPanel);
    bottom->setContentsMargins(6, 4, 6, 4);
    Image1 = new TImage(BottomPanel);
    Image1->setObjectName(QStringLiteral("Image1"));
    bottom->addWidget(Image1);
    main->addWidget(BottomPanel);
    connect(Image1, &TImage::Click, this, &TFrameChannel::Image1Click);

    MakeClickable(AllowClick);
    setObjectName(QStringLiteral("FrameChannel%1").arg(ChannelNumber));
    parent->AddControl(this);
    UpdateData(ChannelNumber, &model, AllowClick);
}

void TFrameChannel::MakeClickable(bool AllowClick) {
    if (!AllowClick) {
        return;
    }
    QQueue<QWidget*> queue;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        queue.enqueue(child);
    }
    while (!queue.isEmpty()) {
        QWidget* control = queue.dequeue();
        control->setCursor(Qt::PointingHandCursor);
        if (auto* label = qobject_cast<QLabel*>(control)) {
            label->clear();
            label->installEventFilter(this);
        } else if (qobject_cast<QFrame*>(control) != nullptr) {
            control->installEventFilter(this);
            for (QWidget* child : control->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
                queue.enqueue(child);
            }
        }
    }
}

bool TFrameChannel::eventFilter(QObject* watched, QEvent* event) {
    // Labels pass their mouse events on to their panel; taking them here makes one click open one dialog.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        return static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if (mouse->button() != Qt::LeftButton || widget == nullptr) {
            return false;
        }
        if (widget->rect().contains(mouse->position().toPoint())) {
            OpenChannelSettings();
        }
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

QString TFrameChannel::PictureName(int ChannelNumber, bool AllowClick) {
    if (AllowClick) {
        return QStringLiteral("reg%1").arg(ChannelNumber + 1);
    }
    static const std::array<const char*, 3> names = {"reg%1", "ipp_volt", "ipp_ampere"};
    if (ChannelNumber < 0 || ChannelNumber >= static_cast<int>(names.size())) {
        return {};
    }
    QString name = QString::fromLatin1(names[static_cast<std::size_t>(ChannelNumber)]);
    return name.contains(QLatin1Char('%')) ? name.arg(ChannelNumber + 1) : name;
}

void TFrameChannel::UpdateData(int ChannelNumber, const protocol::TTavrel* model, bool AllowClick) {
    if (model == nullptr) {
        return;
    }
    const auto rangeKey = static_cast<protocol::TChannelProperties>(ChannelNumber + 3);
    const auto valueKey = static_cast<protocol::TChannelProperties>(ChannelNumber);
    LabelChannelName->setText(QStringLiteral("Канал %1").arg(ChannelNumber + 1));
    LabelChannelRange->setText(QString::fromStdString(model->GetChannelProperties(rangeKey)));
    SetValueText(QString::fromStdString(model->GetChannelProperties(valueKey)), true);
    const QString picture = PictureName(ChannelNumber, AllowClick);
    if (picture == FPictureName && Image1->HasPicture()) {
        return;  // a flood of measurements must not decode the same picture again for each one
    }
    FPictureName = picture;
    try {
        Image1->ClearPicture();
        Image1->setCursor(Qt::ArrowCursor);
        Image1->SetPicture(LoadPicture(picture));
        if (Image1->HasPicture()) {
            Image1->setCursor(Qt::PointingHandCursor);
        }
    } catch (...) {
        Image1->ClearPicture();
    }
}

void TFrameChannel::ShowNoReading() {
    SetValueText(QStringLiteral("Нет данных"), false);
}

void TFrameChannel::SetValueText(const QString& text, bool current) {
    LabelChannelValue->setText(text);
    if (current == FValueCurrent) {
        return;
    }
    FValueCurrent = current;
    QPalette palette = LabelChannelValue->palette();
    palette.setColor(QPalette::WindowText,
                     current ? this->palette().color(QPalette::WindowText) : QColor(0x80, 0x80, 0x80));
    LabelChannelValue->setPalette(palette);
    LabelChannelValue->setToolTip(current ? QString() : QStringLiteral("Прибор не присылает измерений"));
}

void TFrameChannel::Image1Click() {
    if (!Image1->HasPicture()) {
        return;
    }
    try {
        OpenPictureFullSize(this, Image1->Picture());
    } catch (...) {
        // Seeing the diagram full size is a convenience; nothing to report.
    }
}

void TFrameChannel::OpenChannelSettings() {
    OpenChannelSettingsDialog(link::XComPortModule());
}

}  // namespace tavrel::app
