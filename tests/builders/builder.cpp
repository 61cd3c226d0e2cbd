// Byte-level composition of JWW and JWS drawings for tests, examples, benchmarks and fuzz seeds.
#include "builder.h"

#include <bit>
#include <cstring>

namespace qmtest {

void Out::u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
}
void Out::i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
void Out::u32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<std::uint8_t>(v >> (8 * i)));
}
void Out::f64(double v) {
    const auto bits = std::bit_cast<std::uint64_t>(v);
    for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(bits >> (8 * i)));
}
void Out::str(const std::string& s, bool longLength) {
    if (s.size() < 255 && !longLength) {
        u8(static_cast<std::uint8_t>(s.size()));
    } else {
        u8(0xFF);
        u16(static_cast<std::uint16_t>(s.size()));
    }
    raw(s);
}
void Out::count(std::int32_t n) {
    if (n >= 0 && n < 0xFFFF) {
        u16(static_cast<std::uint16_t>(n));
    } else {
        u16(0xFFFF);
        i32(n);
    }
}

// ---- archive ----

namespace {

const char* ClassName(const Entity& e) {
    static const char* names[] = {"CDataSen",    "CDataEnko",  "CDataTen",  "CDataMoji",
                                  "CDataSunpou", "CDataSolid", "CDataBlock"};
    return names[e.index()];
}

}  // namespace

void ArchiveOut::newClass(const std::string& className) {
    o_.u16(0xFFFF);
    o_.u16(static_cast<std::uint16_t>(version_));
    o_.u16(static_cast<std::uint16_t>(className.size()));
    o_.raw(className);
    index_[className] = counter_++;
}

void ArchiveOut::reference(std::int32_t index) {
    if (index < 0x7FFF) {
        o_.u16(static_cast<std::uint16_t>(0x8000 + index));
    } else {
        o_.u16(0x7FFF);
        o_.u32(static_cast<std::uint32_t>(index) | 0x80000000u);
    }
}

void ArchiveOut::tag(const std::string& className) {
    auto it = index_.find(className);
    if (it == index_.end()) {
        newClass(className);
    } else {
        reference(it->second);
    }
}

void ArchiveOut::attr(const Attr& a) {
    o_.i32(a.group);
    o_.u8(a.style);
    o_.u16(a.color);
    if (version_ >= 351) o_.u16(a.width);
    o_.u16(a.layer);
    o_.u16(a.layerGroup);
    o_.u16(a.flags);
}

void ArchiveOut::line(const Line& l) {
    attr(l.a);
    o_.f64(l.x1);
    o_.f64(l.y1);
    o_.f64(l.x2);
    o_.f64(l.y2);
}

void ArchiveOut::point(const Point& p) {
    attr(p.a);
    o_.f64(p.x);
    o_.f64(p.y);
    o_.i32(p.temporary);
    if (p.a.style == 100) {
        o_.i32(p.code);
        o_.f64(p.angle);
        o_.f64(p.scale);
    }
}

void ArchiveOut::text(const Text& t) {
    attr(t.a);
    for (double v : t.corners) o_.f64(v);
    o_.i32(t.type);
    for (double v : t.size) o_.f64(v);
    o_.str(t.font);
    o_.str(t.text, t.longLength);
}

void ArchiveOut::body(const Entity& e) {
    std::visit(
        [&](const auto& x) {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, Line>) {
                line(x);
            } else if constexpr (std::is_same_v<T, Arc>) {
                attr(x.a);
                for (double v : x.v) o_.f64(v);
                o_.i32(x.fullCircle);
            } else if constexpr (std::is_same_v<T, Point>) {
                point(x);
            } else if constexpr (std::is_same_v<T, Text>) {
                text(x);
            } else if constexpr (std::is_same_v<T, Dimension>) {
                attr(x.a);
                line(x.line);
                text(x.text);
                if (version_ >= 420) {
                    o_.u16(x.mode);
                    line(x.aux1);
                    line(x.aux2);
                    for (const Point& p : x.points) point(p);
                }
            } else if constexpr (std::is_same_v<T, Solid>) {
                attr(x.a);
                for (double v : x.corners) o_.f64(v);
                if (x.a.color == 10) o_.i32(x.color);
            } else {
                attr(x.a);
                for (double v : x.v) o_.f64(v);
                o_.i32(x.def);
            }
        },
        e);
}

void ArchiveOut::entity(const Entity& e) {
    tag(ClassName(e));
    body(e);
    ++counter_;
}

void ArchiveOut::entities(const std::vector<Entity>& list) {
    o_.count(static_cast<std::int32_t>(list.size()));
    for (const Entity& e : list) entity(e);
}

void ArchiveOut::blocks(const std::vector<BlockDef>& list) {
    o_.count(static_cast<std::int32_t>(list.size()));
    for (const BlockDef& def : list) {
        tag("CDataList");
        attr(def.a);
        o_.i32(def.number);
        o_.i32(def.referenced);
        o_.i32(def.timestamp);
        if (def.timestamp < 0) {
            for (int i = 0; i < 8; ++i) o_.u8(static_cast<std::uint8_t>(0xA0 + i));
        }
        o_.str(def.name);
        o_.count(static_cast<std::int32_t>(def.members.size()));
        ++counter_;
        for (const Entity& e : def.members) entity(e);
    }
}

// ---- JWW ----

std::size_t Block10Size(std::int32_t version) { return version >= 300 ? 44 : 28; }
std::size_t Block12Size(std::int32_t version) { return version > 230 ? 280 : 96; }
std::size_t Block17Size(std::int32_t version) {
    if (version < 220) return 0;
    if (version < 223) return 44;
    if (version < 225) return 104;
    if (version < 230) return 136;
    return 144;
}

namespace {

// Header values: random from the seed, or zero.
class Values {
public:
    Values(Fill fill, std::uint64_t seed) : random_(fill == Fill::Random), rng_(seed) {}
    std::int32_t i32() { return random_ ? static_cast<std::int32_t>(rng_()) : 0; }
    // Any bit pattern: doubles are carried, never computed with.
    double f64() { return random_ ? std::bit_cast<double>(static_cast<std::uint64_t>(rng_())) : 0.0; }
    std::int32_t range(std::int32_t low, std::int32_t high) {
        if (!random_) return low <= 0 && high >= 0 ? 0 : low;
        return low + static_cast<std::int32_t>(rng_() % static_cast<std::uint64_t>(high - low + 1));
    }

private:
    bool random_;
    std::mt19937_64 rng_;
};

std::string NameAt(const std::map<int, std::string>& names, int i) {
    auto it = names.find(i);
    return it == names.end() ? std::string() : it->second;
}

}  // namespace

Bytes BuildJwwHeader(const JwwPlan& plan, JwwLayout* layout) {
    Out o;
    Values val(plan.fill, plan.seed);
    JwwLayout l;
    const std::int32_t v = plan.version;
    auto mark = [&](int block) { l.block[block] = o.size(); };

    mark(1);
    o.raw(std::string("JwwData."));
    mark(2);
    o.i32(v);
    mark(3);
    o.str(plan.memo);
    mark(4);
    o.i32(val.i32());
    o.i32(val.i32());
    mark(5);
    for (int g = 0; g < 16; ++g) {
        o.i32(val.i32());
        o.i32(val.i32());
        o.f64(val.f64());
        o.i32(val.i32());
        for (int i = 0; i < 32; ++i) o.i32(val.i32());
    }
    mark(6);
    o.zeros(56);
    mark(7);
    for (int i = 0; i < 5; ++i) o.i32(val.i32());
    o.i32(0);
    o.i32(v <= 420 ? val.range(-101, 5000) : val.range(-500, 5000));
    mark(8);
    for (int i = 0; i < 3; ++i) o.f64(val.f64());
    o.i32(val.i32());
    o.i32(val.i32());
    for (int i = 0; i < 5; ++i) o.f64(val.f64());
    mark(9);
    for (int i = 0; i < 256; ++i) o.str(NameAt(plan.layerNames, i));
    for (int i = 0; i < 16; ++i) o.str(NameAt(plan.groupNames, i));
    mark(10);
    o.f64(val.f64());
    o.f64(val.f64());
    o.i32(val.i32());
    o.f64(val.f64());
    if (Block10Size(v) == 44) {
        o.f64(val.f64());
        o.f64(val.f64());
    }
    mark(11);
    o.i32(val.i32());
    for (int i = 0; i < 6; ++i) o.f64(val.f64());
    mark(12);
    if (v > 230) {
        for (int s = 0; s < 10; ++s) {
            for (int i = 0; i < 3; ++i) o.f64(val.f64());
            o.i32(val.i32());
        }
    } else {
        for (int s = 0; s < 12; ++s) o.f64(val.f64());
    }
    mark(13);
    for (int i = 0; i < 11; ++i) o.f64(val.f64());
    for (int i = 0; i < 20; ++i) o.i32(val.i32());
    mark(14);
    for (int i = 0; i < 10; ++i) {
        o.i32(val.i32());
        o.i32(val.i32());
        o.f64(val.f64());
    }
    mark(15);
    for (int i = 0; i < 32; ++i) o.i32(val.i32());
    mark(16);
    for (int i = 0; i < 41; ++i) o.i32(val.i32());
    if (v >= 220) {
        mark(17);
        for (int i = 0; i < 10; ++i) o.i32(val.i32());
        // A split value that a writer of the same version gives back as it is.
        o.i32(v >= 600 ? val.range(10, 99999) : val.range(0, 9));
        if (v >= 223) {
            for (int i = 0; i < 5; ++i) o.i32(val.i32());
            for (int i = 0; i < 5; ++i) o.f64(val.f64());
        }
        if (v >= 225) {
            for (int i = 0; i < 4; ++i) o.f64(val.f64());
        }
        if (v >= 230) {
            o.i32(val.i32());
            o.i32(val.i32());
        }
    }
    if (v >= 420) {
        mark(18);
        for (int i = 0; i < 257 * 2; ++i) o.i32(val.i32());
        mark(19);
        for (int i = 0; i < 257; ++i) {
            o.str(NameAt(plan.colorExNames, i));
            o.i32(val.i32());
            o.i32(val.i32());
            o.f64(val.f64());
        }
        mark(20);
        for (int i = 0; i < 33 * 4; ++i) o.i32(val.i32());
        mark(21);
        for (int i = 0; i < 33; ++i) {
            o.str(NameAt(plan.lineTypeExNames, i));
            o.i32(val.i32());
            for (int k = 0; k < 10; ++k) o.f64(val.f64());
        }
    }
    mark(22);
    for (int i = 0; i < 10; ++i) {
        for (int k = 0; k < 3; ++k) o.f64(val.f64());
        o.i32(val.i32());
    }
    mark(23);
    for (int i = 0; i < 3; ++i) o.f64(val.f64());
    o.i32(val.i32());
    o.i32(val.i32());
    o.f64(val.f64());
    o.f64(val.f64());
    o.i32(val.i32());
    for (int i = 0; i < 6; ++i) o.f64(val.f64());
    l.entityList = o.size();
    if (layout) *layout = l;
    return o.b;
}

namespace {

Bytes ImageBytes(const Image& image) {
    if (!image.bytes.empty()) return image.bytes;
    Bytes bytes(static_cast<std::size_t>(image.size));
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + image.name.size());
    }
    return bytes;
}

}  // namespace

Bytes BuildJww(const JwwPlan& plan, JwwLayout* layout) {
    Out o;
    o.b = BuildJwwHeader(plan, layout);
    ArchiveOut archive(o, plan.version);
    archive.entities(plan.entities);
    archive.blocks(plan.blocks);
    if (plan.version >= 700) {
        o.i32(plan.imageCount.value_or(static_cast<std::int32_t>(plan.images.size())));
        for (const Image& image : plan.images) {
            o.str(image.name);
            o.i32(image.size);
            if (!image.name.empty() && image.size > 0) o.raw(ImageBytes(image));
        }
    }
    o.raw(plan.trailing);
    return o.b;
}

// ---- JWS ----

Bytes BuildJws(const JwsPlan& plan) {
    Out o;
    Values val(plan.fill, plan.seed);
    o.raw(std::string("JwsData"));
    o.b.insert(o.b.end(), 193, plan.filler);
    o.i32(plan.version);
    for (int i = 0; i < 2 + 16; ++i) o.f64(val.f64());
    for (int i = 0; i < 6; ++i) o.i32(val.i32());
    for (int i = 0; i < 10; ++i) o.f64(val.f64());
    ArchiveOut archive(o, plan.version);
    archive.entities(plan.entities);
    archive.blocks(plan.blocks);
    o.raw(plan.trailing);
    return o.b;
}

// ---- random content ----

double RandomDrawing::real() {
    return std::bit_cast<double>(static_cast<std::uint64_t>(rng_()));
}

Attr RandomDrawing::attr(int classNo) {
    Attr a;
    a.group = static_cast<std::int32_t>(rng_());
    a.color = static_cast<std::uint16_t>(1 + rng_() % 9);
    a.width = static_cast<std::uint16_t>(rng_() % 30001);
    a.layer = static_cast<std::uint16_t>(rng_() % 16);
    a.layerGroup = static_cast<std::uint16_t>(rng_() % 16);
    a.flags = static_cast<std::uint16_t>(rng_());
    switch (classNo) {
        case 1:
        case 2: a.style = static_cast<std::uint8_t>(rng_() % 2 ? 1 + rng_() % 9 : 11 + rng_() % 9); break;
        case 3: a.style = rng_() % 3 == 0 ? 100 : 1; break;
        case 4: a.style = static_cast<std::uint8_t>(1 + rng_() % 9); break;
        case 6:
            a.style = static_cast<std::uint8_t>(rng_());
            if (rng_() % 3 == 0) a.color = 10;
            break;
        default: a.style = static_cast<std::uint8_t>(rng_()); break;
    }
    return a;
}

std::string RandomDrawing::cleanText(std::size_t maxLength) {
    std::string s;
    const std::size_t length = rng_() % (maxLength + 1);
    while (s.size() < length) {
        if (rng_() % 3 == 0 && s.size() + 2 <= length) {
            const std::uint8_t lead = static_cast<std::uint8_t>(rng_() % 2 ? 0x81 + rng_() % 31 : 0xE0 + rng_() % 16);
            std::uint8_t trail = static_cast<std::uint8_t>(0x40 + rng_() % 0xBD);
            if (trail == 0x7F) trail = 0x80;
            s += static_cast<char>(lead);
            s += static_cast<char>(trail);
        } else {
            char c = static_cast<char>(0x20 + rng_() % 0x5F);  // printable ASCII
            if (c == '^') c = '_';
            s += c;
        }
    }
    return s;
}

Entity RandomDrawing::entity(int classNo) {
    auto line = [&](int cls) {
        Line l{attr(cls), real(), real(), real(), real()};
        return l;
    };
    auto point = [&]() {
        Point p;
        p.a = attr(3);
        p.x = real();
        p.y = real();
        p.temporary = static_cast<std::int32_t>(rng_() % 2);
        if (p.a.style == 100) {
            p.code = static_cast<std::int32_t>(rng_());
            p.angle = real();
            p.scale = real();
        }
        return p;
    };
    auto text = [&]() {
        Text t;
        t.a = attr(4);
        for (double& v : t.corners) v = real();
        t.type = static_cast<std::int32_t>(rng_() % 10000);
        for (double& v : t.size) v = real();
        t.font = rng_() % 2 ? kSjisGothic : "Arial";
        t.text = cleanText(40);
        return t;
    };
    switch (classNo) {
        case 1: return line(1);
        case 2: {
            Arc a;
            a.a = attr(2);
            for (double& v : a.v) v = real();
            a.fullCircle = static_cast<std::int32_t>(rng_() % 2);
            return a;
        }
        case 3: return point();
        case 4: return text();
        case 5: {
            Dimension d;
            d.a = attr(5);
            d.line = line(1);
            d.text = text();
            d.mode = static_cast<std::uint16_t>(rng_());
            d.aux1 = line(1);
            d.aux2 = line(1);
            for (Point& p : d.points) p = point();
            return d;
        }
        case 6: {
            Solid s;
            s.a = attr(6);
            for (double& v : s.corners) v = real();
            if (s.a.color == 10) s.color = static_cast<std::int32_t>(rng_());
            return s;
        }
        default: {
            Insert b;
            b.a = attr(7);
            for (double& v : b.v) v = real();
            b.def = static_cast<std::int32_t>(rng_() % 100);
            return b;
        }
    }
}

Entity RandomDrawing::anyEntity() { return entity(1 + static_cast<int>(rng_() % 7)); }

std::vector<Entity> RandomDrawing::entities(std::size_t n) {
    std::vector<Entity> list;
    list.reserve(n);
    for (std::size_t i = 0; i < n; ++i) list.push_back(anyEntity());
    return list;
}

BlockDef RandomDrawing::block(int number, std::size_t members) {
    BlockDef def;
    def.a = attr(8);
    def.number = number;
    def.referenced = static_cast<std::int32_t>(rng_() % 2);
    def.timestamp = static_cast<std::int32_t>(rng_() % 0x7FFFFFFF);
    def.name = cleanText(20);
    def.members = entities(members);
    return def;
}

void PatchI32(Bytes& bytes, std::size_t offset, std::int32_t value) {
    for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
}
void PatchU16(Bytes& bytes, std::size_t offset, std::uint16_t value) {
    bytes.at(offset) = static_cast<std::uint8_t>(value);
    bytes.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
}
std::int32_t ReadI32(const Bytes& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(bytes.at(offset + i)) << (8 * i);
    return static_cast<std::int32_t>(v);
}
std::uint16_t ReadU16(const Bytes& bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes.at(offset) | (bytes.at(offset + 1) << 8));
}

}  // namespace qmtest
