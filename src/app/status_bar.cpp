#include "app/status_bar.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace tavrel::app {

TStatusBar::TStatusBar(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
}

void TStatusBar::SetSimplePanel(bool simple) {
    FSimplePanel = simple;
    update();
}

void TStatusBar::AddPanel(int width, Qt::Alignment alignment, bool ownerDraw) {
    FPanels.push_back(TStatusPanel{width, QString(), alignment, ownerDraw});
    update();
}

void TStatusBar::SetPanelWidth(int index, int width) {
    if (index < 0 || index >= PanelCount()) {
        return;
    }
    auto& panel = FPanels[static_cast<std::size_t>(index)];
    if (panel.Width == width) {
        return;
    }
    panel.Width = width;
    repaint();
}

void TStatusBar::SetPanelText(int index, const QString& text) {
    if (index < 0 || index >= PanelCount()) {
        return;
    }
    QString& current = FPanels[static_cast<std::size_t>(index)].Text;
    // Every answer sets the instrument's clock, which changes once a second: repaint only on a change.
    if (current == text) {
        return;
    }
    current = text;
    update(PanelRect(index).adjusted(-2, -2, 2, 2));
}

QRect TStatusBar::PanelRect(int index) const {
    int left = 0;
    for (int i = 0; i < index; ++i) {
        left += Panel(i).Width;
    }
    // One pixel of bevel around each panel, as the platform's status bar draws it.
    return {left + 1, 1, Panel(index).Width - 2, height() - 2};
}

int TStatusBar::HitTest(int x) const {
    if (FSimplePanel || FPanels.empty()) {
        return -1;
    }
    int sum = 0;
    for (int i = 0; i < PanelCount(); ++i) {
        sum += Panel(i).Width;
        if (x < sum) {
            return i;
        }
    }
    return PanelCount() - 1;
}

void TStatusBar::SetHint(const QString& hint) {
    QString shown = hint;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (shown == toolTip()) {
        return;
    }
    setToolTip(shown);
    if (QToolTip::isVisible()) {
        if (shown.isEmpty()) {
            QToolTip::hideText();
        } else {
            QToolTip::showText(QCursor::pos(), shown, this);
        }
    }
}

void TStatusBar::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (FSimplePanel) {
        return;
    }
    const QColor shadow = palette().color(QPalette::Mid);
    for (int i = 0; i < PanelCount(); ++i) {
        const QRect r = PanelRect(i);
        painter.setPen(shadow);
        painter.drawLine(r.right() + 1, r.top() + 1, r.right() + 1, r.bottom() - 1);
        const TStatusPanel& panel = Panel(i);
        painter.save();
        painter.setClipRect(r);
        if (panel.OwnerDraw) {
            painter.setFont(font());
            emit DrawPanel(&painter, i, r);
        } else {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.setFont(font());
            painter.drawText(r.adjusted(3, 0, -3, 0),
                             static_cast<int>(panel.Alignment | Qt::AlignVCenter) | Qt::TextSingleLine, panel.Text);
        }
        painter.restore();
    }
}

void TStatusBar::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    emit MouseMove(event->modifiers(), p.x(), p.y());
    QWidget::mouseMoveEvent(event);
}

void TStatusBar::mousePressEvent(QMouseEvent* event) {
    if (!FClick.Press(event)) {
        QWidget::mousePressEvent(event);
    }
}

void TStatusBar::mouseReleaseEvent(QMouseEvent* event) {
    if (!FClick.Release(event, rect(), [this] { emit Click(); })) {
        QWidget::mouseReleaseEvent(event);
    }
}

}  // namespace tavrel::app
