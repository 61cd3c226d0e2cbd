// Writes the bundled example drawings into a folder: JWW and JWS drawings of several versions,
// one with an embedded image, one with dimensions inside block definitions, a file that is no
// drawing and a drawing that is cut short. `make examples` runs it on examples/.
#include "builder.h"

#include <filesystem>
#include <fstream>
#include <iostream>

using namespace qmtest;

namespace {

// Shift-JIS texts.
const std::string kSamplePlan = "\x83\x54\x83\x93\x83\x76\x83\x8B\x90\x7D\x96\xCA";  // サンプル図面
const std::string kFloorPlan = "\x95\xBD\x96\xCA\x90\x7D";                          // 平面図
const std::string kElevation = "\x97\xA7\x96\xCA\x90\x7D";                          // 立面図
const std::string kSection = "\x92\x66\x96\xCA\x90\x7D";                            // 断面図
const std::string kSitePlan = "\x94\x7A\x92\x75\x90\x7D";                           // 配置図
const std::string kPart = "\x95\x94\x95\x69";                                        // 部品
const std::string kLogo = "\x83\x8D\x83\x53";                                        // ロゴ

Attr OnLayer(std::uint16_t layer, std::uint16_t color = 1) {
    Attr a;
    a.layer = layer;
    a.color = color;
    return a;
}

Line Segment(double x1, double y1, double x2, double y2) {
    Line l;
    l.a = OnLayer(0, 2);
    l.x1 = x1;
    l.y1 = y1;
    l.x2 = x2;
    l.y2 = y2;
    return l;
}

Text Label(const std::string& text, double x, double y) {
    Text t;
    t.a = OnLayer(8, 3);
    t.corners = {x, y, x + 30, y};
    t.size = {5, 5, 0.5, 0};
    t.font = kSjisGothic;
    t.text = text;
    return t;
}

Dimension Measure(double x1, double x2, double y, bool alreadyMarked = false) {
    Dimension d;
    d.a = OnLayer(9, 1);
    d.line = Segment(x1, y, x2, y);
    d.line.a = OnLayer(9, 1);
    d.text = Label(std::to_string(static_cast<int>(x2 - x1)), (x1 + x2) / 2, y + 2);
    d.aux1 = Segment(x1, y - 10, x1, y);
    d.aux2 = Segment(x2, y - 10, x2, y);
    for (int i = 0; i < 4; ++i) {
        d.points[i].a = OnLayer(9, 1);
        d.points[i].x = i % 2 ? x2 : x1;
        d.points[i].y = y;
    }
    if (alreadyMarked) {
        d.a.flags = 0x2000;
        d.line.a.flags = 0x2000;
        d.text.a.flags = 0x4000;
        d.aux1.a.flags = d.aux2.a.flags = 0x2000;
        for (Point& p : d.points) p.a.flags = 0x0040;
    }
    return d;
}

std::vector<Entity> Room(double w, double h) {
    return {Segment(0, 0, w, 0), Segment(w, 0, w, h), Segment(w, h, 0, h), Segment(0, h, 0, 0)};
}

// A 4 x 4 pixel 24-bit BMP.
Bytes SmallBitmap() {
    Out o;
    const int width = 4, height = 4, rowBytes = 12, pixels = rowBytes * height;
    o.raw(std::string("BM"));
    o.i32(54 + pixels);
    o.i32(0);
    o.i32(54);
    o.i32(40);
    o.i32(width);
    o.i32(height);
    o.u16(1);
    o.u16(24);
    o.i32(0);
    o.i32(pixels);
    o.i32(2835);
    o.i32(2835);
    o.i32(0);
    o.i32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            o.u8(static_cast<std::uint8_t>(x * 60));
            o.u8(static_cast<std::uint8_t>(y * 60));
            o.u8(200);
        }
    }
    return o.b;
}

void Save(const std::filesystem::path& folder, const std::string& name, const Bytes& bytes) {
    std::ofstream out(folder / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    std::cout << "  " << name << " (" << bytes.size() << " bytes)\n";
}

JwwPlan Plan(std::int32_t version, const std::string& memo) {
    JwwPlan plan;
    plan.version = version;
    plan.memo = memo;
    plan.fill = Fill::Zero;
    plan.layerNames[0] = "\x95\xC7";    // 壁
    plan.layerNames[8] = "\x95\xB6\x8E\x9A";  // 文字
    plan.layerNames[9] = "\x90\xA1\x96\x40";  // 寸法
    plan.groupNames[0] = kFloorPlan;
    return plan;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make-examples FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    std::cout << "writing examples into " << folder.string() << "\n";

    {  // A floor plan of version 600: rooms, an arc, texts, dimensions, one of them already marked.
        JwwPlan plan = Plan(600, kSamplePlan + " " + kFloorPlan);
        plan.entities = Room(4000, 3000);
        Arc door;
        door.a = OnLayer(0, 2);
        door.v = {900, 0, 800, 0, 1.5707963267948966, 0, 1};
        plan.entities.push_back(door);
        plan.entities.push_back(Label(kFloorPlan, 100, 3200));
        plan.entities.push_back(Measure(0, 4000, -500));
        plan.entities.push_back(Measure(0, 900, -300, true));
        Solid column;
        column.a = OnLayer(0, 10);
        column.corners = {0, 0, 200, 0, 200, 200, 0, 200};
        column.color = 0x808080;
        plan.entities.push_back(column);
        Save(folder, "floor-plan-600.jww", BuildJww(plan));
    }
    {  // An old elevation of version 230: dimensions have only their first three parts.
        JwwPlan plan = Plan(230, kElevation);
        plan.entities = Room(6000, 2800);
        plan.entities.push_back(Measure(0, 6000, -400));
        plan.entities.push_back(Measure(0, 2800, -800));
        Save(folder, "elevation-230.jww", BuildJww(plan));
    }
    {  // A section of version 420 whose dimensions sit inside block definitions.
        JwwPlan plan = Plan(420, kSection);
        plan.entities = Room(2000, 1000);
        Insert placed;
        placed.a = OnLayer(1);
        placed.v = {500, 500, 1, 1, 0};
        placed.def = 1;
        plan.entities.push_back(placed);
        BlockDef part;
        part.number = 1;
        part.timestamp = -1;  // stored with its 8-byte extension
        part.name = kPart;
        part.members = {Segment(0, 0, 300, 0), Measure(0, 300, -50), Measure(0, 150, -100)};
        BlockDef empty;
        empty.number = 2;
        empty.timestamp = 20260101;
        empty.name = "EMPTY";
        plan.blocks = {part, empty};
        Save(folder, "section-420.jww", BuildJww(plan));
    }
    {  // A site plan of version 700 with an image a text refers to and one no text refers to.
        JwwPlan plan = Plan(700, kSitePlan);
        plan.entities = Room(10000, 8000);
        plan.entities.push_back(Label("^@BM%temp%logo.bmp,100,100,0,0,1", 9000, 7500));
        plan.entities.push_back(Measure(0, 10000, -1000));
        const Bytes bitmap = SmallBitmap();
        plan.images = {Image{"LOGO.BMP", static_cast<std::int32_t>(bitmap.size()), bitmap},
                       Image{kLogo + ".bmp", static_cast<std::int32_t>(bitmap.size()), bitmap}};
        Save(folder, "site-plan-700.jww", BuildJww(plan));
    }
    {  // JWS drawings of three versions.
        JwsPlan plan;
        plan.fill = Fill::Zero;
        plan.version = 300;
        plan.entities = Room(1000, 500);
        plan.entities.push_back(Measure(0, 1000, -100));
        Save(folder, "detail-300.jws", BuildJws(plan));

        plan.version = 351;
        plan.entities.push_back(Label("^@BM%temp%old.bmp,1,1", 0, 0));
        Save(folder, "detail-351.jws", BuildJws(plan));

        plan.version = 600;
        BlockDef part;
        part.number = 1;
        part.name = kPart;
        part.members = {Measure(0, 250, -20)};
        plan.blocks = {part};
        Save(folder, "component-600.jws", BuildJws(plan));
    }
    {  // No drawing at all, and a drawing cut short inside its entity list.
        Out text;
        text.raw(std::string("This folder holds example drawings for Quellmark.\n"));
        Save(folder, "notes.txt", text.b);

        JwwPlan plan = Plan(600, "broken");
        plan.entities = Room(100, 100);
        Bytes bytes = BuildJww(plan);
        bytes.resize(bytes.size() - 40);
        Save(folder, "broken.jww", bytes);
    }
    return 0;
}
