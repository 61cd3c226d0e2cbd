// The preview pane of the Qt window, a view of the form's PreviewPane: it paints the display list
// through the pane's transform with QPainter, the legend in a band below, or the reason there is
// no picture; and hands the pane its size, the wheel, drags and the keys (+, -, arrows, Home).
#pragma once

#include "../form/PreviewPane.h"

#include <QPoint>
#include <QWidget>

namespace quellmark {

class PreviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit PreviewWidget(PreviewPane& pane, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void PaintLegend(QPainter& painter, const QRect& band);

    PreviewPane& pane_;
    bool dragging_ = false;
    QPoint dragFrom_;
};

}  // namespace quellmark
