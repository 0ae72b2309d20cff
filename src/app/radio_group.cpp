#include "app/radio_group.h"

#include <QRadioButton>
#include <QRegion>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tavrel::app {

TRadioGroup::TRadioGroup(QWidget* parent) : QGroupBox(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 6, 4, 6);
    layout->setSpacing(0);
}

void TRadioGroup::SetItems(const QStringList& items) {
    for (QRadioButton* button : FButtons) {
        delete button;
    }
    FButtons.clear();
    FItemIndex = -1;
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setAutoExclusive(false);
        button->setFocusPolicy(Qt::TabFocus);
        layout()->addWidget(button);
        connect(button, &QRadioButton::clicked, this, [this, i](bool) { ItemClicked(i); });
        FButtons.push_back(button);
    }
}

QRadioButton* TRadioGroup::Item(int index) const {
    if (index < 0 || index >= ItemCount()) {
        return nullptr;
    }
    return FButtons[static_cast<std::size_t>(index)];
}

void TRadioGroup::SetItemIndex(int index) {
    if (index >= ItemCount()) {
        index = ItemCount() - 1;
    }
    if (index < -1) {
        index = -1;
    }
    if (index == FItemIndex) {
        return;
    }
    FItemIndex = index;
    for (int i = 0; i < ItemCount(); ++i) {
        const QSignalBlocker blocker(FButtons[static_cast<std::size_t>(i)]);
        FButtons[static_cast<std::size_t>(i)]->setChecked(i == index);
    }
    if (index >= 0) {
        emit Click();
    }
}

void TRadioGroup::ItemClicked(int index) {
    if (index == FItemIndex) {
        // Buttons are not auto-exclusive: keep the clicked item checked.
        const QSignalBlocker blocker(Item(index));
        Item(index)->setChecked(true);
        return;
    }
    SetItemIndex(index);
}

void TRadioGroup::SetClipInset(int inset) {
    FClipInset = inset;
    ApplyClip();
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
    QGroupBox::resizeEvent(event);
    ApplyClip();
}

void TRadioGroup::ApplyClip() {
    if (FClipInset < 0) {
        return;
    }
    setMask(QRegion(FClipInset, FClipInset, width() - 2 * FClipInset, height() - 2 * FClipInset));
}

}  // namespace tavrel::app
