#pragma once

#include <QFrame>

class QLabel;

namespace tavrel::protocol {
class TTavrel;
}

namespace tavrel::app {

class TGridPanel;
class TImage;

// One measuring channel: its name, range, reading in large type and the wiring picture.
class TFrameChannel : public QFrame {
    Q_OBJECT

  public:
    // Builds the frame named FrameChannel<ChannelNumber>, puts it into the next free cell of `parent`
    // and fills it from `model`. ChannelNumber counts from 0.
    TFrameChannel(bool AllowClick, const protocol::TTavrel& model, int ChannelNumber, TGridPanel* parent);

    void UpdateData(int ChannelNumber, const protocol::TTavrel* model, bool AllowClick);
    // The reading is too old to show: a grey "Нет данных" until the next UpdateData.
    void ShowNoReading();

    QFrame* TopPanel;
    QLabel* LabelChannelName;
    QWidget* Spacer;
    QLabel* LabelChannelRange;
    QFrame* Panel;
    QLabel* LabelChannelValue;
    QFrame* BottomPanel;
    TImage* Image1;

    // The resource name of the picture for a channel, e.g. "reg1" or "ipp_volt".
    static QString PictureName(int ChannelNumber, bool AllowClick);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void MakeClickable(bool AllowClick);
    void Image1Click();
    void OpenChannelSettings();

    void SetValueText(const QString& text, bool current);

    QFrame* FMainPanel;
    QString FPictureName;  // the picture shown; a measurement that needs the same one loads nothing
    bool FValueCurrent = true;
};

}  // namespace tavrel::app
