// The records of a drawing as they sit in memory: common attributes, the seven entity classes,
// block definitions, entity collections, the JWW header record with its tables, and the
// embedded-image entries. Fields keep the order and widths of the file fields they come from.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quellmark {

// Class numbers shared by the entity list and the block definition list.
enum ClassNo : std::int32_t {
    kClassSen = 1,     // line
    kClassEnko = 2,    // arc or circle
    kClassTen = 3,     // point
    kClassMoji = 4,    // text
    kClassSunpou = 5,  // dimension
    kClassSolid = 6,   // solid
    kClassBlock = 7,   // block insert
    kClassList = 8,    // block definition
};
inline constexpr int kEntityClassCount = 7;

// The dimension-attribute bits of a flags word.
inline constexpr std::uint16_t kDimensionBit = 0x2000;       // dimension, its line, auxiliary lines
inline constexpr std::uint16_t kDimensionTextBit = 0x4000;   // dimension text
inline constexpr std::uint16_t kDimensionPointBit = 0x0040;  // the four dimension points

// Versions at which the entity stream changes shape.
inline constexpr std::int32_t kVersionPenWidth = 351;       // common attributes gain the pen width
inline constexpr std::int32_t kVersionFullDimension = 420;  // dimensions gain their second half
inline constexpr std::int32_t kVersionImages = 700;         // JWW drawings gain the image section

struct TEntBase {
    std::int32_t Group = 0;
    std::uint8_t PenStyle = 0;
    std::uint16_t PenColor = 0;
    std::uint16_t PenWidth = 0;  // in the stream from version 351
    std::uint16_t Layer = 0;
    std::uint16_t LayerGroup = 0;
    std::uint16_t Flags = 0;
    bool operator==(const TEntBase&) const = default;
};

struct TEntSen {
    TEntBase Base;
    double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
};

struct TEntEnko {
    TEntBase Base;
    double CenterX = 0, CenterY = 0, Radius = 0, StartAngle = 0, ArcAngle = 0, TiltAngle = 0,
           Flatness = 0;
    std::int32_t FullCircle = 0;
};

inline constexpr std::uint8_t kPenStyleMarkedPoint = 100;  // a point that carries code, angle, scale

struct TEntTen {
    TEntBase Base;
    double X = 0, Y = 0;
    std::int32_t Temporary = 0;
    // Present in the stream only when the pen style is 100; 0 otherwise.
    std::int32_t Code = 0;
    double Angle = 0, Scale = 0;
};

struct TEntMoji {
    TEntBase Base;
    double StartX = 0, StartY = 0, EndX = 0, EndY = 0;
    std::int32_t TextType = 0;
    double SizeX = 0, SizeY = 0, Spacing = 0, Angle = 0;
    std::string FontName;  // Shift-JIS bytes
    std::string Text;      // Shift-JIS bytes
};

// A dimension: its own attributes, its line and its text. From version 420 on a second half
// follows in the stream (TEntSunpoExt); the collection holds it beside the dimension, so that a
// drawing of older dimensions takes no room for parts it does not have.
struct TEntSunpo {
    TEntBase Base;
    TEntSen Line;
    TEntMoji Text;
};

struct TEntSunpoExt {
    std::uint16_t Mode = 0;
    TEntSen Aux1, Aux2;
    std::array<TEntTen, 4> Points;
};

// What an older dimension's missing second half stands for, should it be written at version 420
// or above: mode 0, and auxiliary lines and points of zero length that take the dimension's own
// attributes (the points with pen style 0).
inline TEntSunpoExt DefaultSunpoExt(const TEntSunpo& dimension) {
    TEntSunpoExt ext;
    ext.Aux1 = TEntSen{dimension.Base};
    ext.Aux2 = TEntSen{dimension.Base};
    for (TEntTen& point : ext.Points) {
        point = TEntTen{dimension.Base};
        point.Base.PenStyle = 0;
    }
    return ext;
}

inline constexpr std::uint16_t kPenColorSolidRgb = 10;  // a solid that carries an RGB colour value

struct TEntSolid {
    TEntBase Base;
    std::array<double, 8> Corners{};  // x1, y1, x2, y2, x3, y3, x4, y4
    std::int32_t Color = 0;           // present in the stream only when the pen colour is 10
};

struct TEntBlock {
    TEntBase Base;
    double RefX = 0, RefY = 0, ScaleX = 0, ScaleY = 0, Angle = 0;
    std::int32_t DefNumber = 0;
};

// One entry of a collection's index list: which class array, and where in it.
struct TEntRef {
    std::int32_t ClassNo = 0;
    std::int32_t Index = 0;
};

// The entities of a drawing's top level or of one block definition. The index list holds the
// stream order; each class array keeps its own entities in order of appearance.
struct TEntityCollection {
    std::vector<TEntRef> Refs;
    std::vector<TEntSen> Sen;
    std::vector<TEntEnko> Enko;
    std::vector<TEntTen> Ten;
    std::vector<TEntMoji> Moji;
    std::vector<TEntSunpo> Sunpo;
    // The dimensions' second halves, index for index, as read from version 420 on; shorter (empty
    // for an older drawing) where a dimension has none.
    std::vector<TEntSunpoExt> SunpoExt;
    std::vector<TEntSolid> Solid;
    std::vector<TEntBlock> Block;

    // Empties every array (their memory is kept for the next drawing).
    void clear();
    std::size_t size() const { return Refs.size(); }
    // The second half of dimension `index`: the one read, or the stand-in of an older dimension.
    TEntSunpoExt SunpoExtOf(std::size_t index) const {
        return index < SunpoExt.size() ? SunpoExt[index] : DefaultSunpoExt(Sunpo.at(index));
    }
};

struct TEntBlockDef {
    TEntBase Base;
    std::int32_t Number = 0;
    std::int32_t Referenced = 0;
    std::int32_t TimeStamp = 0;
    std::string Name;
    TEntityCollection Members;
};

// ---- JWW header tables ----

struct TLayerGroup {
    std::int32_t State = 0;
    std::int32_t WriteLayer = 0;
    double Scale = 0;
    std::int32_t Protect = 0;
    std::string Name;
};

struct TLayer {
    std::int32_t State = 0;
    std::int32_t Protect = 0;
    std::string Name;
};

struct TLineColorDef {
    std::int32_t ScreenColor = 0, ScreenWidth = 0, PrintColor = 0, PrintWidth = 0;
    double PrintPointRadius = 0;
};

struct TLineTypeDef {
    std::int32_t Pattern = 0, UnitDots = 0, Pitch = 0, PrintPitch = 0;
};

struct TRandomLineDef {
    std::array<std::int32_t, 5> Values{};
};

struct TDoubleLineTypeDef {
    std::array<std::int32_t, 4> Values{};
};

struct TColorExNo {
    std::int32_t ScreenColor = 0, ScreenWidth = 0;
    std::string Name;
    std::int32_t PrintColor = 0, PrintWidth = 0;
    double PrintPointRadius = 0;
};

struct TLineTypeExNo {
    std::int32_t Pattern = 0, UnitDots = 0, Pitch = 0, PrintPitch = 0;
    std::string Name;
    std::int32_t Count = 0;
    std::array<double, 10> Values{};  // values[1..10] of the file, 0-based here
};

struct TTextStyleDef {
    double Width = 0, Height = 0, Spacing = 0;
    std::int32_t Color = 0;
};

// Three doubles and an int32, the shape of the two extra mark-slot groups.
struct TExtraSlot {
    std::array<double, 3> Values{};
    std::int32_t Int = 0;
};

// The text defaults group of header block 23.
struct TTextSettings {
    std::array<double, 3> A{};
    std::array<std::int32_t, 2> B{};
    std::array<double, 2> C{};
    std::int32_t D = 0;
    std::array<double, 6> E{};
};

inline constexpr int kMarkSlots = 8;

// The JWW header record. Values are carried, not interpreted; a few are normalised on writing.
struct THeader {
    std::string Signature;  // the first 8 bytes, as read
    std::int32_t Version = 0;
    std::string Memo;
    std::int32_t PaperSize = 0;
    std::int32_t WriteLayerGroup = 0;
    std::array<std::int32_t, 14> Reserved14{};
    std::array<std::int32_t, 5> DimensionSettings{};
    std::int32_t Reserved1 = 0;
    std::int32_t MaxLineWidth = 0;
    double PrintOriginX = 0, PrintOriginY = 0;
    double PrintScale = 1.0;
    std::int32_t PrintSettings = 0;
    std::int32_t GridMode = 0;
    double GridMinSpacing = 1.0;
    double GridSpacingX = 1.0, GridSpacingY = 1.0;
    double GridOriginX = 0, GridOriginY = 0;
    double ShadowLevel = 0, ShadowLatitude = 0;
    std::int32_t ShadowHours = 0;
    double WallShadowLevel = 0;
    double SkyChartLevel = 0, SkyChartSize = 0;
    std::int32_t Unit25D = 0;
    double ViewScale = 1.0;
    double ViewOriginX = 0, ViewOriginY = 0;
    double RangeScale = 1.0;
    double RangeOriginX = 0, RangeOriginY = 0;
    // Mark slots 1..8 at indices 0..7.
    std::array<double, kMarkSlots> MarkScale{1, 1, 1, 1, 1, 1, 1, 1};
    std::array<double, kMarkSlots> MarkOriginX{};
    std::array<double, kMarkSlots> MarkOriginY{};
    std::array<std::int32_t, kMarkSlots> MarkLayerGroup{-1, -1, -1, -1, -1, -1, -1, -1};
    TExtraSlot ExtraSlotA, ExtraSlotB;
    std::array<double, 10> ParallelSpacing{};
    double ParallelEndOffset = 0;
    std::array<std::int32_t, 10> Options{};
    std::int32_t SplitUnits = 0;  // the 11th int32 of block 17, mod 10
    std::int32_t SplitTens = 0;   // the 11th int32 of block 17, div 10
    std::array<std::int32_t, 5> Ext223Ints{};
    std::array<double, 5> Ext223Doubles{};
    std::array<double, 4> Ext225Doubles{};
    std::array<std::int32_t, 2> Ext230Ints{};
    TTextSettings TextSettings;
    std::int32_t EntityCount = 0;
    std::int32_t BlockDefCount = 0;
};

// One embedded image of a JWW drawing. Its bytes wait in the drawing's image file in the temp
// folder, which the program names (never the drawing), so a name like "../x" or "C:\y" is only
// carried, never used as a path.
struct TBindImageType {
    std::string Name;   // the name as stored in the drawing
    std::int32_t Size = 0;
    bool Bind = false;  // set by the writer when a text refers to this image
    std::int64_t Offset = -1;  // where its bytes start in the image file; -1 while it has none

    // Only an image with a name and a size above 0 carries bytes in the drawing.
    bool hasFile() const { return !Name.empty() && Size > 0; }
};

}  // namespace quellmark
