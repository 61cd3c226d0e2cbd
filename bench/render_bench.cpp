// The preview's speed on one core: the display list of a drawing of 60,000 entities (target
// under 50 ms) and its SVG (target under 150 ms). The drawing is a plan of the kinds of entity
// users draw: lines, arcs, texts, dimensions, points, solids and inserts of a small block.
#include "builder.h"
#include "render/build.h"
#include "render/svg.h"
#include "jww/jwwunit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <stdexcept>

using namespace quellmark;
using namespace quellmark::render;

namespace {

constexpr int kEntities = 60'000;

qmtest::Line Segment(double x1, double y1, double x2, double y2, std::uint16_t color) {
    qmtest::Line l;
    l.a.color = color;
    l.a.style = static_cast<std::uint8_t>(1 + color % 3);
    l.x1 = x1;
    l.y1 = y1;
    l.x2 = x2;
    l.y2 = y2;
    return l;
}

// One entity of the plan, by its place in a 250 x 240 grid of 100 mm cells.
qmtest::Entity PlanEntity(int i) {
    const double x = (i % 250) * 100.0;
    const double y = (i / 250) * 100.0;
    switch (i % 20) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7: return Segment(x, y, x + 90, y + (i % 7) * 10, static_cast<std::uint16_t>(1 + i % 9));
        case 8:
        case 9:
        case 10: {
            qmtest::Arc a;
            a.v = {x + 50, y + 50, 40, 0.3, (i % 2) ? 6.283185307179586 : 2.0, 0, (i % 3) ? 1.0 : 0.6};
            a.fullCircle = i % 2;
            return a;
        }
        case 11:
        case 12: {
            qmtest::Text t;
            t.corners = {x, y, x + 60, y};
            t.size = {4, 4, 0.5, 0};
            t.text = "\x95\xC7 W" + std::to_string(i);  // 壁 W123
            return t;
        }
        case 13:
        case 14: {
            qmtest::Dimension d;
            d.line = Segment(x, y - 20, x + 100, y - 20, 1);
            d.text.corners = {x + 40, y - 18, x + 60, y - 18};
            d.text.size = {3, 3, 0, 0};
            d.text.text = "100";
            d.aux1 = Segment(x, y - 25, x, y, 1);
            d.aux2 = Segment(x + 100, y - 25, x + 100, y, 1);
            for (int k = 0; k < 4; ++k) d.points[k].x = x + (k % 2) * 100;
            if (i % 4 == 0) d.a.flags = 0x2000;
            return d;
        }
        case 15:
        case 16: {
            qmtest::Point p;
            p.x = x + 10;
            p.y = y + 10;
            return p;
        }
        case 17: {
            qmtest::Solid s;
            s.corners = {x, y, x + 20, y, x + 20, y + 20, x, y + 20};
            return s;
        }
        default: {
            qmtest::Insert b;
            b.v = {x + 50, y + 50, 1, 1, (i % 4) * 0.5};
            b.def = 1;
            return b;
        }
    }
}

const JwwDocument& Plan() {
    static const JwwDocument doc = [] {
        qmtest::JwwPlan plan;
        plan.version = 600;
        plan.fill = qmtest::Fill::Zero;
        for (int i = 0; i < kEntities; ++i) plan.entities.push_back(PlanEntity(i));
        qmtest::BlockDef door;
        door.number = 1;
        door.name = "DOOR";
        door.members = {Segment(0, 0, 10, 0, 2), Segment(10, 0, 10, 10, 2), Segment(10, 10, 0, 10, 2),
                        Segment(0, 10, 0, 0, 2)};
        plan.blocks = {door};
        const qmtest::Bytes bytes = qmtest::BuildJww(plan);
        JwwDocument read;
        ImageStore images(RealFileSystem());
        images.KeepBytes = false;
        if (!ReadJwwBytes(read, images, bytes)) throw std::runtime_error("the plan does not read");
        return read;
    }();
    return doc;
}

void BM_DisplayList60k(benchmark::State& state) {
    const DrawingView view = ViewOf(Plan());
    DisplayList list;
    std::string why;
    for (auto _ : state) {
        if (!BuildDisplayList(view, {}, list, why)) state.SkipWithError(why.c_str());
        benchmark::DoNotOptimize(list.primitives.data());
    }
    state.counters["primitives"] = static_cast<double>(list.primitives.size());
    state.counters["entities"] = kEntities;
}
BENCHMARK(BM_DisplayList60k)->Unit(benchmark::kMillisecond);

void BM_Svg60k(benchmark::State& state) {
    DisplayList list;
    std::string why;
    if (!BuildDisplayList(ViewOf(Plan()), {}, list, why)) state.SkipWithError(why.c_str());
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string svg = WriteSvg(list, {"plan", false});
        bytes = svg.size();
        benchmark::DoNotOptimize(svg.data());
    }
    state.counters["svg_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Svg60k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
