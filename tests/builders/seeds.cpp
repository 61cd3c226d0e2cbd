// The seed drawings of the fuzz targets and of the copy-through differential: every version step,
// blocks, images, dimensions marked and not, and the values and strings a writer changes.
#include "seeds.h"

namespace qmtest {

namespace {

// A dimension whose parts all carry valid attributes; marked already when asked.
Dimension Measure(RandomDrawing& rnd, bool marked) {
    Dimension d = std::get<Dimension>(rnd.entity(5));
    if (marked) {
        d.a.flags |= 0x2000;
        d.line.a.flags |= 0x2000;
        d.text.a.flags |= 0x4000;
        d.aux1.a.flags |= 0x2000;
        d.aux2.a.flags |= 0x2000;
        for (Point& p : d.points) p.a.flags |= 0x0040;
    }
    return d;
}

Text Label(RandomDrawing& rnd, const std::string& content) {
    Text t = std::get<Text>(rnd.entity(4));
    t.text = content;
    return t;
}

// One entity of every class, then a few more at random.
std::vector<Entity> Mixed(RandomDrawing& rnd, std::size_t extra) {
    std::vector<Entity> list;
    for (int c = 1; c <= 7; ++c) list.push_back(rnd.entity(c));
    for (const Entity& e : rnd.entities(extra)) list.push_back(e);
    return list;
}

Bytes Pattern(std::size_t n, std::uint8_t start) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(start + i * 13);
    return b;
}

}  // namespace

std::vector<Seed> JwwSeeds() {
    std::vector<Seed> seeds;
    auto add = [&](const std::string& name, const JwwPlan& plan) { seeds.push_back({name, BuildJww(plan)}); };

    // Every version step of the header and of the entity stream, with blocks and dimensions.
    for (std::int32_t v :
         {220, 222, 223, 224, 225, 229, 230, 231, 299, 300, 350, 351, 419, 420, 421, 599, 600, 699, 700, 701}) {
        RandomDrawing rnd(static_cast<std::uint64_t>(v));
        JwwPlan plan;
        plan.version = v;
        plan.seed = static_cast<std::uint64_t>(v);
        plan.memo = "memo " + std::to_string(v) + " " + kSjisZumen;
        plan.layerNames[0] = kSjisZumen;
        plan.layerNames[255] = "L255";
        plan.groupNames[3] = "G3";
        plan.colorExNames[1] = "red";
        plan.lineTypeExNames[2] = "dash";
        plan.entities = Mixed(rnd, 4);
        plan.entities.push_back(Measure(rnd, v % 2 == 0));
        BlockDef def = rnd.block(1, 3);
        def.members.push_back(Measure(rnd, false));
        plan.blocks = {def, rnd.block(2, 0)};
        if (v >= 700) {
            plan.entities.push_back(Label(rnd, "^@BM%temp%pic.bmp,10,10,0,0,1"));
            plan.images = {Image{"PIC.BMP", 300, Pattern(300, 1)}, Image{"unused.png", 40, Pattern(40, 2)}};
        }
        add("jww-v" + std::to_string(v), plan);
    }

    {  // The smallest drawings: nothing after the header.
        for (std::int32_t v : {220, 600, 700}) {
            JwwPlan plan;
            plan.version = v;
            plan.fill = Fill::Zero;
            add("jww-empty-v" + std::to_string(v), plan);
        }
    }
    {  // Dimensions only, some already marked, at top level and in blocks, around version 420.
        for (std::int32_t v : {419, 420}) {
            RandomDrawing rnd(7);
            JwwPlan plan;
            plan.version = v;
            plan.fill = Fill::Zero;
            plan.entities = {Measure(rnd, true), Measure(rnd, false), Measure(rnd, true)};
            BlockDef def = rnd.block(5, 0);
            def.members = {Measure(rnd, false), Measure(rnd, true)};
            plan.blocks = {def};
            add("jww-dimensions-v" + std::to_string(v), plan);
        }
    }
    {  // Block definitions: a negative time stamp with its extension, empty ones, nested inserts.
        RandomDrawing rnd(11);
        JwwPlan plan;
        plan.version = 600;
        BlockDef stamped = rnd.block(1, 2);
        stamped.timestamp = -5;
        BlockDef empty = rnd.block(2, 0);
        BlockDef inserts = rnd.block(3, 0);
        inserts.members = {rnd.entity(7), rnd.entity(7), rnd.entity(1)};
        plan.blocks = {empty, stamped, inserts, rnd.block(4, 5)};
        plan.entities = {rnd.entity(7)};
        add("jww-blocks", plan);
    }
    {  // Strings the writer cleans: control bytes, "^m", nested "^^mm", a trailing lead byte,
        // a long string, Shift-JIS names.
        RandomDrawing rnd(13);
        JwwPlan plan;
        plan.version = 600;
        plan.memo = "memo\x01^m kept";
        plan.layerNames[1] = "\x01\x02";
        plan.layerNames[2] = "a^mb";
        plan.groupNames[0] = "^^mm";
        plan.colorExNames[0] = std::string(300, 'c');
        plan.lineTypeExNames[0] = "tail\x82";
        plan.entities = {Label(rnd, "line\rbreak"), Label(rnd, "^^^mmm"), Label(rnd, kSjisGothic),
                         Label(rnd, std::string(260, 'x')), Label(rnd, "")};
        BlockDef def = rnd.block(1, 1);
        def.name = "blk\tname";
        plan.blocks = {def};
        add("jww-strings", plan);
    }
    {  // Out-of-range and remapped attributes around version 420, marked points, coloured solids.
        for (std::int32_t v : {350, 419, 420}) {
            RandomDrawing rnd(17);
            JwwPlan plan;
            plan.version = v;
            plan.fill = Fill::Zero;
            Line odd;
            odd.a.layer = 16;
            odd.a.layerGroup = 40;
            odd.a.width = 30001;
            odd.a.color = 107;
            odd.a.style = 44;
            Point marked;
            marked.a.style = 100;
            marked.code = 3;
            Point plain;
            plain.a.style = 5;
            Solid coloured;
            coloured.a.color = 10;
            coloured.color = 0x00FF8040;
            Arc arc;
            arc.a.style = 200;
            arc.a.color = 400;
            plan.entities = {odd, marked, plain, coloured, arc, Measure(rnd, false)};
            add("jww-attributes-v" + std::to_string(v), plan);
        }
    }
    {  // Header values a writer changes: negative split values, a line width below -101.
        for (std::int32_t split : {-7, -10, 3, 47}) {
            JwwPlan plan;
            plan.version = 600;
            JwwLayout layout;
            Bytes bytes = BuildJww(plan, &layout);
            PatchI32(bytes, layout.block[17] + 40, split);
            seeds.push_back({"jww-split" + std::to_string(split), bytes});
        }
        JwwPlan plan;
        plan.version = 420;
        JwwLayout layout;
        Bytes bytes = BuildJww(plan, &layout);
        PatchI32(bytes, layout.block[7] + 24, -150);
        seeds.push_back({"jww-line-width", bytes});
    }
    {  // Images: referenced in lower case, by prefix, from a block; unreferenced ones; entries
        // without bytes; a negative size.
        RandomDrawing rnd(19);
        JwwPlan plan;
        plan.version = 700;
        plan.entities = {Label(rnd, "^@BM%temp%photo,1,2,3"), Label(rnd, "^@BM%temp%,empty"), Label(rnd, "^@BM%temp%"),
                         Label(rnd, "^@BMother,1")};
        BlockDef def = rnd.block(1, 0);
        def.members = {Label(rnd, "^@BM%temp%map.bmp,5")};
        plan.blocks = {def};
        plan.images = {Image{"PHOTO.JPG", 700, Pattern(700, 3)},
                       Image{"", 0, {}},
                       Image{"zero.bmp", 0, {}},
                       Image{"MAP.BMP", 5000, Pattern(5000, 4)},
                       Image{"negative.bmp", -4, {}},
                       Image{"../up.bmp", 16, Pattern(16, 5)}};
        add("jww-images", plan);

        JwwPlan few = plan;
        few.images.resize(1);
        few.imageCount = 0;
        add("jww-image-count", few);
    }
    {  // Many entities of one class, so class references dominate.
        RandomDrawing rnd(23);
        JwwPlan plan;
        plan.version = 600;
        plan.fill = Fill::Zero;
        for (int i = 0; i < 60; ++i) plan.entities.push_back(rnd.entity(1 + i % 3));
        add("jww-many", plan);
    }
    {  // Bytes after the drawing.
        JwwPlan plan;
        plan.version = 600;
        plan.trailing = {1, 2, 3, 4};
        add("jww-trailing", plan);
    }
    return seeds;
}

std::vector<Seed> JwsSeeds() {
    std::vector<Seed> seeds;
    for (std::int32_t v : {0, 100, 230, 300, 350, 351, 419, 420, 700, 9999}) {
        RandomDrawing rnd(static_cast<std::uint64_t>(1000 + v));
        JwsPlan plan;
        plan.version = v;
        plan.seed = static_cast<std::uint64_t>(v);
        plan.entities = Mixed(rnd, 3);
        plan.entities.push_back(Measure(rnd, v % 2 == 0));
        BlockDef def = rnd.block(1, 2);
        def.members.push_back(Measure(rnd, false));
        plan.blocks = {def};
        seeds.push_back({"jws-v" + std::to_string(v), BuildJws(plan)});
    }
    {
        JwsPlan plan;
        plan.fill = Fill::Zero;
        seeds.push_back({"jws-empty", BuildJws(plan)});
    }
    {  // Image references that the JWS writer shortens, once or twice.
        RandomDrawing rnd(31);
        JwsPlan plan;
        plan.version = 600;
        plan.entities = {Label(rnd, "^@BM%temp%logo.bmp,1,1"), Label(rnd, "^@BM%temp%%temp%x,1"),
                         Label(rnd, "^@BM\x01%temp%y,2"), Label(rnd, "^^mm")};
        BlockDef def = rnd.block(1, 0);
        def.members = {Label(rnd, "^@BM%temp%in-block,3")};
        def.timestamp = -1;
        plan.blocks = {def};
        seeds.push_back({"jws-image-references", BuildJws(plan)});
    }
    {  // Filler bytes other than the usual ones, and bytes after the drawing.
        JwsPlan plan;
        plan.filler = 0;
        plan.trailing = {9, 9, 9};
        RandomDrawing rnd(37);
        plan.entities = rnd.entities(10);
        seeds.push_back({"jws-filler", BuildJws(plan)});
    }
    return seeds;
}

}  // namespace qmtest
