// Plane geometry for the preview: points and boxes in paper millimetres (y up), the affine maps
// that place a block's members and a layer group's scale on the paper, and elliptic arcs, which
// stay elliptic arcs under any such map.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

namespace quellmark::render {

struct Point {
    double x = 0;
    double y = 0;
};

// An axis-aligned box; empty until a point is added.
struct Rect {
    double minX = std::numeric_limits<double>::infinity();
    double minY = std::numeric_limits<double>::infinity();
    double maxX = -std::numeric_limits<double>::infinity();
    double maxY = -std::numeric_limits<double>::infinity();

    bool empty() const { return minX > maxX || minY > maxY; }
    double width() const { return empty() ? 0 : maxX - minX; }
    double height() const { return empty() ? 0 : maxY - minY; }
    void add(Point p);
    void unite(const Rect& other);
    bool intersects(const Rect& other) const;
    bool contains(const Rect& other) const;
};

// x' = a x + c y + e, y' = b x + d y + f.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    static Affine Scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static Affine Rotate(double radians);
    static Affine Translate(double x, double y) { return {1, 0, 0, 1, x, y}; }

    Point apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    Point applyVector(Point v) const { return {a * v.x + c * v.y, b * v.x + d * v.y}; }
    // This map after `inner`: (this * inner)(p) = this(inner(p)).
    Affine after(const Affine& inner) const;
    double determinant() const { return a * d - b * c; }
};

// The points center + R(rotation) (rx cos t, ry sin t) for t from start to start + sweep (all
// angles in radians; a negative sweep runs clockwise). A full ellipse has a sweep of 2 pi.
struct EllipseArc {
    Point center;
    double rx = 0, ry = 0;
    double rotation = 0;
    double start = 0;
    double sweep = 0;

    Point at(double t) const;
    Point startPoint() const { return at(start); }
    Point endPoint() const { return at(start + sweep); }
    bool full() const;
};

// The arc center + u cos t + v sin t (t from start over sweep), u and v any two vectors, mapped by
// `map` and put in the canonical form above.
EllipseArc MapArc(const Affine& map, Point center, Point u, Point v, double start, double sweep);

// The exact box of an arc: its end points and the extremes of the ellipse that lie on it.
Rect ArcBounds(const EllipseArc& arc);

// Points along the arc, no farther from it than `tolerance`, the end points included: for
// painters that draw no elliptic arcs. At most kMaxArcSegments segments.
inline constexpr std::size_t kMaxArcSegments = 1024;
void FlattenArc(const EllipseArc& arc, double tolerance, std::vector<Point>& out);

bool Finite(Point p);
bool Finite(const Rect& r);

}  // namespace quellmark::render
