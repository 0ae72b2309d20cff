#pragma once

#include <vector>

#include <QGroupBox>
#include <QStringList>

class QRadioButton;

namespace tavrel::app {

// A framed group of exclusive radio items addressed by index, -1 meaning no item selected.
// Selecting an item from code runs Click just as a click does; clearing the selection does not.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

  public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    void SetItems(const QStringList& items);
    int ItemCount() const { return static_cast<int>(FButtons.size()); }
    QRadioButton* Item(int index) const;

    int ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int index);

    // Hides the group's frame line by showing only the rectangle shrunk by `inset` on every side.
    void SetClipInset(int inset);

  signals:
    void Click();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void ApplyClip();
    void ItemClicked(int index);

    std::vector<QRadioButton*> FButtons;
    int FItemIndex = -1;
    int FClipInset = -1;
};

}  // namespace tavrel::app
