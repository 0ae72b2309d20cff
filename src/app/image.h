#pragma once

#include <QImage>
#include <QWidget>

#include "app/click_tracker.h"

namespace tavrel::app {

// A picture box: draws its picture centred and, when too large, shrunk with its proportions kept.
// The background is not painted, so the picture's alpha channel shows the parent through.
class TImage : public QWidget {
    Q_OBJECT

  public:
    explicit TImage(QWidget* parent = nullptr);

    void SetPicture(const QImage& picture);
    void ClearPicture() { SetPicture(QImage()); }
    bool HasPicture() const { return !FPicture.isNull(); }
    const QImage& Picture() const { return FPicture; }

    // Where the picture is drawn inside the widget; empty without picture.
    QRect PictureRect() const;

  signals:
    void Click();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QImage FPicture;
    TClickTracker FClick;
};

}  // namespace tavrel::app
