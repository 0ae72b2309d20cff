#include "app/grid_panel.h"

#include <algorithm>
#include <cmath>

#include <QGridLayout>

namespace tavrel::app {

TGridPanel::TGridPanel(QWidget* parent) : QWidget(parent), FLayout(new QGridLayout(this)) {
    FLayout->setContentsMargins(0, 0, 0, 0);
    FLayout->setSpacing(0);
}

void TGridPanel::AddRow(double percent) {
    FRows.push_back(percent);
    ApplyStretch();
}

void TGridPanel::AddColumn(double percent) {
    FColumns.push_back(percent);
    ApplyStretch();
}

void TGridPanel::ClearRowsAndColumns() {
    FRows.clear();
    FColumns.clear();
    ApplyStretch();
}

void TGridPanel::ApplyStretch() {
    // The layout never forgets a row or column it has seen: stretch 0 and no item makes them take no room.
    FUsedRows = std::max(FUsedRows, RowCount());
    FUsedColumns = std::max(FUsedColumns, ColumnCount());
    for (int r = 0; r < FUsedRows; ++r) {
        const int stretch = r < RowCount() ? static_cast<int>(std::lround(RowPercent(r) * 100)) : 0;
        FLayout->setRowStretch(r, stretch);
    }
    for (int c = 0; c < FUsedColumns; ++c) {
        const int stretch = c < ColumnCount() ? static_cast<int>(std::lround(ColumnPercent(c) * 100)) : 0;
        FLayout->setColumnStretch(c, stretch);
    }
    PlaceControls();
}

void TGridPanel::AddControl(QWidget* control) {
    control->setParent(this);
    FControls.push_back(control);
    PlaceControls();
    control->show();
}

void TGridPanel::DeleteControl(int index) {
    QWidget* control = Control(index);
    FControls.erase(FControls.begin() + index);
    FLayout->removeWidget(control);
    delete control;
    PlaceControls();
}

void TGridPanel::PlaceControls() {
    const int columns = std::max(1, ColumnCount());
    for (int i = 0; i < ControlCount(); ++i) {
        QWidget* control = Control(i);
        FLayout->removeWidget(control);
        FLayout->addWidget(control, i / columns, i % columns);
    }
}

}  // namespace tavrel::app
