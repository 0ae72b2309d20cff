#pragma once

#include <vector>

#include <QString>
#include <QWidget>

#include "app/click_tracker.h"

class QPainter;

namespace tavrel::app {

// The window's status bar: a row of panels of fixed widths, plain ones drawn by the bar, owner-drawn
// ones through DrawPanel. Mouse moves and clicks are reported with the bar's own coordinates so that
// the owner can hit-test the panels and set hint and cursor.
class TStatusBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)

  public:
    struct TStatusPanel {
        int Width = 50;
        QString Text;
        Qt::Alignment Alignment = Qt::AlignLeft;
        bool OwnerDraw = false;
    };

    explicit TStatusBar(QWidget* parent = nullptr);

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }

    // Single-text mode: no panels are drawn or hit.
    bool SimplePanel() const { return FSimplePanel; }
    void SetSimplePanel(bool simple);

    void AddPanel(int width, Qt::Alignment alignment, bool ownerDraw);
    int PanelCount() const { return static_cast<int>(FPanels.size()); }
    const TStatusPanel& Panel(int index) const { return FPanels.at(static_cast<std::size_t>(index)); }
    // A new width lays the panels out again and repaints the whole bar.
    void SetPanelWidth(int index, int width);
    void SetPanelText(int index, const QString& text);
    // The rectangle handed to DrawPanel and used for the panel's text.
    QRect PanelRect(int index) const;

    // The panel under x (bar coordinates): the first whose running width sum exceeds x, the last one
    // beyond all panels; -1 in single-text mode or without panels.
    int HitTest(int x) const;

    // Shows a hint at once while one is visible, so moving across panels updates it.
    void SetHint(const QString& hint);

  signals:
    void DrawPanel(QPainter* painter, int panel, const QRect& rect);
    void MouseMove(Qt::KeyboardModifiers shift, int x, int y);
    void Click();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    std::vector<TStatusPanel> FPanels;
    bool FSimplePanel = false;
    TClickTracker FClick;
    int FTag = 0;
};

}  // namespace tavrel::app
