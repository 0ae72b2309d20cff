#include "app/image.h"

#include <QMouseEvent>
#include <QPainter>

namespace tavrel::app {

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
}

void TImage::SetPicture(const QImage& picture) {
    FPicture = picture;
    update();
}

QRect TImage::PictureRect() const {
    if (FPicture.isNull()) {
        return {};
    }
    QSize size = FPicture.size();
    if (size.width() > width() || size.height() > height()) {
        size.scale(this->size(), Qt::KeepAspectRatio);
    }
    return {(width() - size.width()) / 2, (height() - size.height()) / 2, size.width(), size.height()};
}

void TImage::paintEvent(QPaintEvent* /*event*/) {
    if (FPicture.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(PictureRect(), FPicture);
}

void TImage::mousePressEvent(QMouseEvent* event) {
    if (!FClick.Press(event)) {
        QWidget::mousePressEvent(event);
    }
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    if (!FClick.Release(event, rect(), [this] { emit Click(); })) {
        QWidget::mouseReleaseEvent(event);
    }
}

}  // namespace tavrel::app
