// The preview pane's painting with QPainter: every primitive mapped through the form's transform,
// strokes and dashes in screen millimetres as the SVG has them, texts decoded from Shift-JIS and
// set along their baseline, dimensions over everything in their mark's colour.
#include "PreviewWidget.h"

#include "../form/WindowDesign.h"
#include "../form/WindowTexts.h"
#include "../platform/cp932.h"
#include "../render/styles.h"
#include "QtText.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <vector>

namespace quellmark {

namespace {

QColor ColorOf(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

class QtPanePainter final : public render::Painter {
public:
    QtPanePainter(QPainter& painter, const PaneTransform& transform) : painter_(painter), transform_(transform) {}

    void polyline(const render::Primitive& p, std::span<const render::Point> points) override {
        QPolygonF line = Mapped(points);
        painter_.setPen(PenOf(p));
        painter_.setBrush(Qt::NoBrush);
        if (p.closed) {
            painter_.drawPolygon(line);
        } else {
            painter_.drawPolyline(line);
        }
    }

    void polygon(const render::Primitive& p, std::span<const render::Point> points) override {
        const QColor color = ColorOf(render::LookOf(p).color);
        painter_.setPen(QPen(color, 1));
        painter_.setBrush(color);
        painter_.drawPolygon(Mapped(points));
    }

    void arc(const render::Primitive& p, const render::EllipseArc& arc) override {
        // A quarter of a pixel from the true curve, in paper millimetres.
        arcPoints_.clear();
        render::FlattenArc(arc, 0.25 / transform_.scale, arcPoints_);
        polyline(p, arcPoints_);
    }

    void pointMark(const render::Primitive& p, render::Point at) override {
        const QPointF centre = Mapped(at);
        const double size = std::max(3.0, render::kPointMarkSize * render::kPixelsPerMm);
        if (p.temporary) {
            painter_.setPen(QPen(ColorOf(render::kTemporaryPointColor), 1));
            const double h = size / 2 + 1;
            painter_.drawLine(centre + QPointF(-h, -h), centre + QPointF(h, h));
            painter_.drawLine(centre + QPointF(-h, h), centre + QPointF(h, -h));
            return;
        }
        const QColor color = ColorOf(render::LookOf(p).color);
        painter_.setPen(Qt::NoPen);
        painter_.setBrush(color);
        painter_.drawEllipse(centre, size / 2, size / 2);
    }

    void text(const render::Primitive& p, const render::TextRun& run) override {
        const double pixels = run.height * transform_.scale;
        if (pixels < 1.5) return;  // less than a glyph can show
        const QString text = FromUtf8(Cp932ToUtf8(run.bytes));
        if (text.isEmpty()) return;
        QFont font = painter_.font();
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(std::min(pixels, 4000.0)))));
        painter_.save();
        painter_.setFont(font);
        painter_.setPen(ColorOf(render::LookOf(p).color));
        painter_.translate(Mapped(run.at));
        painter_.rotate(-run.angle);
        // Stretched along the baseline to its recorded end, as the CAD program sets it.
        const double natural = QFontMetricsF(font).horizontalAdvance(text);
        if (run.advance > 0 && natural > 0) painter_.scale(run.advance * transform_.scale / natural, 1);
        painter_.drawText(QPointF(0, 0), text);
        painter_.restore();
    }

private:
    QPointF Mapped(render::Point p) const {
        const render::Point at = transform_.toPane(p);
        return {at.x, at.y};
    }
    QPolygonF Mapped(std::span<const render::Point> points) const {
        QPolygonF mapped;
        mapped.reserve(static_cast<qsizetype>(points.size()));
        for (const render::Point& p : points) mapped << Mapped(p);
        return mapped;
    }
    static QPen PenOf(const render::Primitive& p) {
        const render::StrokeLook look = render::LookOf(p);
        const double width = std::max(1.0, look.width * render::kPixelsPerMm);
        QPen pen(ColorOf(look.color), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        const auto dashes = render::DashPattern(p.lineType);
        if (!dashes.empty()) {
            // Qt counts dashes in pen widths.
            QList<qreal> pattern;
            for (double dash : dashes) pattern << std::max(0.5, dash * render::kPixelsPerMm / width);
            pen.setDashPattern(pattern);
        }
        return pen;
    }

    QPainter& painter_;
    const PaneTransform& transform_;
    std::vector<render::Point> arcPoints_;
};

}  // namespace

PreviewWidget::PreviewWidget(PreviewPane& pane, QWidget* parent) : QWidget(parent), pane_(pane) {
    setObjectName(QStringLiteral("Preview"));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QString::fromUtf8(texts::kPreviewName));
    setMinimumHeight(design::kPreviewLegendHeight + design::kNarrowestPane);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PreviewWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    pane_.Resized(width(), std::max(0, height() - design::kPreviewLegendHeight));
}

void PreviewWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect area(0, 0, width(), std::max(0, height() - design::kPreviewLegendHeight));
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const render::Preview* picture = pane_.Picture();
    if (!picture) {
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(area.adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, FromUtf8(pane_.Message()));
    } else {
        painter.save();
        painter.setClipRect(area);
        painter.setRenderHint(QPainter::Antialiasing);
        const PaneTransform& t = pane_.Transform();
        const render::Rect& paper = picture->list.paper;
        const render::Point top = t.toPane({paper.minX, paper.maxY});
        const render::Point bottom = t.toPane({paper.maxX, paper.minY});
        const QRectF sheet(QPointF(top.x, top.y), QPointF(bottom.x, bottom.y));
        painter.fillRect(sheet, Qt::white);
        painter.setPen(QPen(ColorOf(render::kPaperEdgeColor), 1));
        painter.drawRect(sheet);
        QtPanePainter drawer(painter, t);
        const render::Rect visible = t.visible(area.width(), area.height());
        render::Paint(picture->list, drawer, render::PaintPass::Plain, &visible);
        render::Paint(picture->list, drawer, render::PaintPass::Dimensions, &visible);
        painter.restore();
    }
    PaintLegend(painter, QRect(0, area.bottom() + 1, width(), design::kPreviewLegendHeight));
    if (hasFocus()) {
        // Where the keys go, for those who drive the pane with them.
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(1, 1, -1, -1));
    }
}

void PreviewWidget::PaintLegend(QPainter& painter, const QRect& band) {
    // The entries in a row, going on in a second line where the pane is narrow.
    painter.setPen(palette().color(QPalette::WindowText));
    const int swatch = 10;
    const int line = band.height() / 2;
    int x = band.left() + 6;
    int top = band.top();
    for (const LegendEntry& entry : pane_.Legend()) {
        const QString text = FromUtf8(entry.text);
        const int wide = swatch + 4 + painter.fontMetrics().horizontalAdvance(text);
        if (x > band.left() + 6 && x + wide > band.right() && top == band.top()) {
            x = band.left() + 6;
            top += line;
        }
        painter.fillRect(QRect(x, top + (line - swatch) / 2, swatch, swatch), ColorOf(entry.color));
        painter.drawText(QRect(x + swatch + 4, top, wide, line), Qt::AlignVCenter | Qt::AlignLeft, text);
        x += wide + 12;
    }
}

void PreviewWidget::wheelEvent(QWheelEvent* event) {
    const QPoint at = event->position().toPoint();
    pane_.Wheel(at.x(), at.y(), event->angleDelta().y());
    event->accept();
}

void PreviewWidget::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    dragging_ = true;
    dragFrom_ = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void PreviewWidget::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) return QWidget::mouseMoveEvent(event);
    const QPoint at = event->position().toPoint();
    pane_.Drag(at.x() - dragFrom_.x(), at.y() - dragFrom_.y());
    dragFrom_ = at;
}

void PreviewWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
    dragging_ = false;
    unsetCursor();
}

void PreviewWidget::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (modifiers != Qt::NoModifier) return QWidget::keyPressEvent(event);
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal: pane_.Key(PaneKey::ZoomIn); break;
        case Qt::Key_Minus: pane_.Key(PaneKey::ZoomOut); break;
        case Qt::Key_Left: pane_.Key(PaneKey::Left); break;
        case Qt::Key_Right: pane_.Key(PaneKey::Right); break;
        case Qt::Key_Up: pane_.Key(PaneKey::Up); break;
        case Qt::Key_Down: pane_.Key(PaneKey::Down); break;
        case Qt::Key_Home: pane_.Key(PaneKey::Fit); break;
        default: return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void PreviewWidget::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void PreviewWidget::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

}  // namespace quellmark
