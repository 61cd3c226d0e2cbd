// The main window's design, in design units (pixels at 96 dots per inch), and the rules both
// windows place and size their controls by: the top of the right pane, the list's first column
// widths and the memo column taking the width the others leave, and which controls take input
// while the form is busy. A window measures its texts in its own fonts, hands the measures over
// in design units and scales what comes back.
#pragma once

#include "MainForm.h"

#include <array>

namespace quellmark::design {

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
};

inline constexpr int kSearchFieldHeight = 20;  // Edit1 above the tree
inline constexpr int kTopPaneHeight = 48;      // Panel4 above the list
inline constexpr int kSplitterWidth = 3;
inline constexpr int kStatusHeight = 19;
inline constexpr int kTreeIndent = 19;
inline constexpr int kProgressWidth = 160;
inline constexpr int kStopWidth = 64;
inline constexpr int kConvertFontPixels = 19;
inline constexpr int kFormFontPixels = 12;
inline constexpr int kListFontPixels = 13;
// Neither the window nor the folder pane gets smaller than this: the buttons stay whole.
inline constexpr int kSmallestWidth = 500;
inline constexpr int kSmallestHeight = 240;
inline constexpr int kNarrowestPane = 16;
// The preview pane stands below the file list, in the right pane: the list keeps its columns
// whole at the window's design width, the top's controls keep their places, and the drawings,
// landscape sheets, get the list's full width. Its legend takes a band of two lines at its foot.
inline constexpr int kPreviewLegendHeight = 36;

// The controls of the right pane's top, relative to the pane.
struct TopPane {
    Rect label1;  // ファイルの種類
    Rect typeBox;
    Rect label2;  // 保存先フォルダ
    Rect destField;
    Rect browse;   // 参照
    Rect convert;  // 変換
};

// What the window measured, in design units: the labels' text widths, the width the type box
// needs for its longest item and the width 参照 needs for its caption.
struct TopPaneMeasures {
    int label1 = 0;
    int label2 = 0;
    int typeBox = 0;
    int browse = 0;
    int labelHeight = 16;
};

// The design's places (fields at 88, 参照 at 368, 変換 at 408), moved right when the labels are
// drawn wider, so they show whole; the type box as wide as its longest item; 参照 as wide as
// its caption, taking the width from the destination field so that 変換 keeps its place.
TopPane LayOutTopPane(const TopPaneMeasures& measures);

// The texts the list's first run sizes its columns to: a name of 16 characters, a size of up
// to ten digits, an extension, the time and the attributes; the memo column takes what the
// others leave.
inline constexpr const char* kColumnSamples[kListColumns] = {"0000000000000000",    "0000000000", ".JWW", "",
                                                             "0000/00/00 00:00:00", "R "};

// What the window measured of each column, in design units: its header's text with the
// header's margins, and its sample's text with a cell's margins.
struct ColumnMeasures {
    std::array<int, kListColumns> header{};
    std::array<int, kListColumns> sample{};
};

// The widths of the columns, in design units, with listWidth the width the rows have when the
// list scrolls (its client area less a vertical scroll bar, which a long listing brings):
// - a column the settings leave to the window (FormSettings::kFitColumn) gets its header or its
//   sample, whichever is wider;
// - a stored width a little short of that (by an eighth at most) was fitted by a window that
//   measured its fonts at another scale or in another font, and gets it, so no text is cut;
//   a column the user made narrower than that keeps its width;
// - widths the list cannot hold (kept from a wider window or another scale) come off the memo
//   column and then the name column, down to their headers, so the list opens without a
//   horizontal scroll bar.
std::array<int, kListColumns> ColumnWidths(const std::array<int, kListColumns>& stored, const ColumnMeasures& measures,
                                           int listWidth);

// The memo column's width: its own (memoFloor), or what the other columns leave of the list's
// width, whichever is wider.
int MemoColumnWidth(const std::array<int, kListColumns>& widths, int memoFloor, int listWidth);

// Which controls take input while the form does this.
struct Commands {
    bool commands = true;  // the menu's commands, the fields, the type box, 参照 and 変換
    bool tree = true;
    bool batch = false;  // the progress bar shows
    bool stop = false;   // 中止 shows: a batch or a folder search can be stopped
};
Commands CommandsOf(FormActivity activity);

}  // namespace quellmark::design
