#pragma once

#include <vector>

#include <QWidget>

class QGridLayout;

namespace tavrel::app {

// A container whose rows and columns take percentage shares of its area; every control added takes
// the next free cell, left to right and then top to bottom.
class TGridPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

  public:
    explicit TGridPanel(QWidget* parent = nullptr);

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    int RowCount() const { return static_cast<int>(FRows.size()); }
    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    double RowPercent(int row) const { return FRows.at(static_cast<std::size_t>(row)); }
    double ColumnPercent(int column) const { return FColumns.at(static_cast<std::size_t>(column)); }
    void AddRow(double percent);
    void AddColumn(double percent);
    void ClearRowsAndColumns();

    // Controls in the order they were added.
    int ControlCount() const { return static_cast<int>(FControls.size()); }
    QWidget* Control(int index) const { return FControls.at(static_cast<std::size_t>(index)); }
    void AddControl(QWidget* control);
    // Removes and frees the control (the grid owns its controls).
    void DeleteControl(int index);

  private:
    void ApplyStretch();
    void PlaceControls();

    QGridLayout* FLayout;
    std::vector<double> FRows;
    std::vector<double> FColumns;
    std::vector<QWidget*> FControls;
    int FUsedRows = 0;
    int FUsedColumns = 0;
    int FTag = 0;
};

}  // namespace tavrel::app
