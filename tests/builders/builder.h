// Test-side builders that compose JWW and JWS drawings byte by byte, written from the file
// layout independently of the reader and writer they test. A case describes the drawing it
// needs in a few lines; the builder makes the bytes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <variant>
#include <vector>

namespace qmtest {

using Bytes = std::vector<std::uint8_t>;

// Little-endian appender with the archive encodings.
class Out {
public:
    Bytes b;

    void u8(std::uint8_t v) { b.push_back(v); }
    void u16(std::uint16_t v);
    void i32(std::int32_t v);
    void u32(std::uint32_t v);
    void f64(double v);
    void raw(const Bytes& bytes) { b.insert(b.end(), bytes.begin(), bytes.end()); }
    void raw(const std::string& bytes) { b.insert(b.end(), bytes.begin(), bytes.end()); }
    void zeros(std::size_t n) { b.insert(b.end(), n, 0); }
    void str(const std::string& s, bool longLength = false);  // archive string; its length in the long form when asked
    void count(std::int32_t n);         // archive count
    std::size_t size() const { return b.size(); }
};

// Common attributes. The defaults are valid for every class.
struct Attr {
    std::int32_t group = 0;
    std::uint8_t style = 1;
    std::uint16_t color = 1;
    std::uint16_t width = 0;  // only in the stream from version 351
    std::uint16_t layer = 0;
    std::uint16_t layerGroup = 0;
    std::uint16_t flags = 0;
};

struct Line {
    Attr a;
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
struct Arc {
    Attr a;
    std::array<double, 7> v{};
    std::int32_t fullCircle = 0;
};
struct Point {
    Attr a;
    double x = 0, y = 0;
    std::int32_t temporary = 0;
    std::int32_t code = 0;  // these three only with pen style 100
    double angle = 0, scale = 0;
};
struct Text {
    Attr a;
    std::array<double, 4> corners{};
    std::int32_t type = 0;
    std::array<double, 4> size{};
    std::string font;
    std::string text;
    bool longLength =
        false;  // the text's length in the long form, which a reader takes and no writer gives a short text
};
struct Dimension {
    Attr a;
    Line line;
    Text text;
    std::uint16_t mode = 0;  // from here on only from version 420
    Line aux1, aux2;
    std::array<Point, 4> points;
};
struct Solid {
    Attr a;
    std::array<double, 8> corners{};
    std::int32_t color = 0;  // only with pen colour 10
};
struct Insert {
    Attr a;
    std::array<double, 5> v{};
    std::int32_t def = 0;
};

using Entity = std::variant<Line, Arc, Point, Text, Dimension, Solid, Insert>;

struct BlockDef {
    Attr a;
    std::int32_t number = 0;
    std::int32_t referenced = 0;
    std::int32_t timestamp = 0;  // a negative stamp is followed by 8 extension bytes
    std::string name;
    std::vector<Entity> members;
};

struct Image {
    std::string name;
    std::int32_t size = 0;  // bytes follow only when the name is not empty and size > 0
    Bytes bytes;            // size bytes; made up from the name when left empty
};

// The archive after a header: entities, block definitions, with class tags as a writer makes
// them (new-class tag the first time, references after).
class ArchiveOut {
public:
    ArchiveOut(Out& out, std::int32_t version) : o_(out), version_(version) {}

    void tag(const std::string& className);       // new class or reference
    void newClass(const std::string& className);  // always a new-class tag
    void reference(std::int32_t index);           // class reference, short or long form
    void attr(const Attr& a);
    void body(const Entity& e);
    void entity(const Entity& e);                 // tag + body + index step
    void entities(const std::vector<Entity>& list);  // count + entities
    void blocks(const std::vector<BlockDef>& list);  // count + definitions
    std::int32_t counter() const { return counter_; }
    void step() { ++counter_; }

private:
    void line(const Line& l);
    void point(const Point& p);
    void text(const Text& t);

    Out& o_;
    std::int32_t version_;
    std::map<std::string, std::int32_t> index_;
    std::int32_t counter_ = 1;
};

enum class Fill { Zero, Random };

// A JWW drawing. Numeric header values come from the seed (or are zero); they are values a
// writer gives back unchanged: reserved blocks zero, line width and block-17 split value in range.
struct JwwPlan {
    std::int32_t version = 600;
    std::string memo;
    Fill fill = Fill::Random;
    std::uint64_t seed = 1;
    std::map<int, std::string> layerNames;     // index 0..255
    std::map<int, std::string> groupNames;     // index 0..15
    std::map<int, std::string> colorExNames;   // index 0..256, from version 420
    std::map<int, std::string> lineTypeExNames;  // index 0..32, from version 420
    std::vector<Entity> entities;
    std::vector<BlockDef> blocks;
    std::vector<Image> images;  // written from version 700
    std::optional<std::int32_t> imageCount;  // to write a count that differs from images.size()
    Bytes trailing;
};

// Where each header block starts (index 1..23; 0 for blocks the version does not have) and where
// the entity list begins.
struct JwwLayout {
    std::array<std::size_t, 24> block{};
    std::size_t entityList = 0;
};

Bytes BuildJwwHeader(const JwwPlan& plan, JwwLayout* layout = nullptr);
Bytes BuildJww(const JwwPlan& plan, JwwLayout* layout = nullptr);

// The sizes of the blocks whose size depends on the version.
std::size_t Block10Size(std::int32_t version);
std::size_t Block12Size(std::int32_t version);
std::size_t Block17Size(std::int32_t version);

struct JwsPlan {
    std::int32_t version = 420;
    std::uint8_t filler = 0x2E;
    Fill fill = Fill::Random;
    std::uint64_t seed = 1;
    std::vector<Entity> entities;
    std::vector<BlockDef> blocks;
    Bytes trailing;
};
Bytes BuildJws(const JwsPlan& plan);

// Entities with random valid values and clean strings, of every class.
class RandomDrawing {
public:
    explicit RandomDrawing(std::uint64_t seed) : rng_(seed) {}
    Attr attr(int classNo);
    Entity entity(int classNo);
    Entity anyEntity();
    std::vector<Entity> entities(std::size_t n);
    BlockDef block(int number, std::size_t members);
    std::string cleanText(std::size_t maxLength);
    double real();

private:
    std::mt19937_64 rng_;
};

// Little helpers for patching built bytes.
void PatchI32(Bytes& bytes, std::size_t offset, std::int32_t value);
void PatchU16(Bytes& bytes, std::size_t offset, std::uint16_t value);
std::int32_t ReadI32(const Bytes& bytes, std::size_t offset);
std::uint16_t ReadU16(const Bytes& bytes, std::size_t offset);

// Shift-JIS samples.
inline const std::string kSjisGothic = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック
inline const std::string kSjisZumen = "\x90\x7d\x96\xca";  // 図面

}  // namespace qmtest
