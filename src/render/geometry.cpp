// Boxes, affine maps and elliptic arcs in paper millimetres.
#include "geometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace quellmark::render {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Whether the angle t lies on the sweep from start (either direction).
bool OnSweep(double t, double start, double sweep) {
    if (std::abs(sweep) >= kTwoPi) return true;
    const double lo = sweep >= 0 ? start : start + sweep;
    const double offset = std::fmod(t - lo, kTwoPi);
    return (offset < 0 ? offset + kTwoPi : offset) <= std::abs(sweep);
}

}  // namespace

void Rect::add(Point p) {
    minX = std::min(minX, p.x);
    minY = std::min(minY, p.y);
    maxX = std::max(maxX, p.x);
    maxY = std::max(maxY, p.y);
}

void Rect::unite(const Rect& other) {
    if (other.empty()) return;
    add(Point{other.minX, other.minY});
    add(Point{other.maxX, other.maxY});
}

bool Rect::intersects(const Rect& other) const {
    return !empty() && !other.empty() && minX <= other.maxX && other.minX <= maxX && minY <= other.maxY &&
           other.minY <= maxY;
}

bool Rect::contains(const Rect& other) const {
    return !empty() && !other.empty() && minX <= other.minX && other.maxX <= maxX && minY <= other.minY &&
           other.maxY <= maxY;
}

Affine Affine::Rotate(double radians) {
    const double cs = std::cos(radians);
    const double sn = std::sin(radians);
    return {cs, sn, -sn, cs, 0, 0};
}

Affine Affine::after(const Affine& inner) const {
    return {a * inner.a + c * inner.b, b * inner.a + d * inner.b,     a * inner.c + c * inner.d,
            b * inner.c + d * inner.d, a * inner.e + c * inner.f + e, b * inner.e + d * inner.f + f};
}

Point EllipseArc::at(double t) const {
    const double cr = std::cos(rotation);
    const double sr = std::sin(rotation);
    const double x = rx * std::cos(t);
    const double y = ry * std::sin(t);
    return {center.x + cr * x - sr * y, center.y + sr * x + cr * y};
}

bool EllipseArc::full() const { return std::abs(sweep) >= kTwoPi; }

EllipseArc MapArc(const Affine& map, Point center, Point u, Point v, double start, double sweep) {
    Point mu = map.applyVector(u);
    Point mv = map.applyVector(v);
    // A mirrored arc runs the other way round: with -v and -t it is the same set of points, and
    // the matrix [u v] keeps a positive determinant.
    if (mu.x * mv.y - mu.y * mv.x < 0) {
        mv = {-mv.x, -mv.y};
        start = -start;
        sweep = -sweep;
    }
    // The matrix M = [mu mv] as R(theta) diag(s1, s2) R(beta) (its singular values).
    const double e = (mu.x + mv.y) / 2;
    const double f = (mu.x - mv.y) / 2;
    const double g = (mu.y + mv.x) / 2;
    const double h = (mu.y - mv.x) / 2;
    const double q = std::hypot(e, h);
    const double r = std::hypot(f, g);
    const double a1 = std::atan2(g, f);
    const double a2 = std::atan2(h, e);
    EllipseArc arc;
    arc.center = map.apply(center);
    arc.rx = q + r;
    arc.ry = std::max(0.0, q - r);
    arc.rotation = (a2 + a1) / 2;
    arc.start = start + (a2 - a1) / 2;
    arc.sweep = sweep;
    return arc;
}

Rect ArcBounds(const EllipseArc& arc) {
    Rect box;
    box.add(arc.startPoint());
    box.add(arc.endPoint());
    const double cr = std::cos(arc.rotation);
    const double sr = std::sin(arc.rotation);
    const double tx = std::atan2(-arc.ry * sr, arc.rx * cr);  // where dx/dt = 0
    const double ty = std::atan2(arc.ry * cr, arc.rx * sr);   // where dy/dt = 0
    for (const double t : {tx, tx + std::numbers::pi, ty, ty + std::numbers::pi}) {
        if (OnSweep(t, arc.start, arc.sweep)) box.add(arc.at(t));
    }
    return box;
}

void FlattenArc(const EllipseArc& arc, double tolerance, std::vector<Point>& out) {
    const double radius = std::max(arc.rx, arc.ry);
    const double sweep = std::clamp(arc.sweep, -kTwoPi, kTwoPi);
    std::size_t segments = 1;
    if (radius > tolerance && tolerance > 0) {
        const double step = 2 * std::acos(1 - tolerance / radius);
        const double wanted = std::ceil(std::abs(sweep) / step);
        segments = wanted >= static_cast<double>(kMaxArcSegments)
                       ? kMaxArcSegments
                       : std::max<std::size_t>(1, static_cast<std::size_t>(wanted));
    }
    for (std::size_t i = 0; i <= segments; ++i) {
        out.push_back(arc.at(arc.start + sweep * static_cast<double>(i) / static_cast<double>(segments)));
    }
}

bool Finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

bool Finite(const Rect& r) {
    return std::isfinite(r.minX) && std::isfinite(r.minY) && std::isfinite(r.maxX) && std::isfinite(r.maxY);
}

}  // namespace quellmark::render
