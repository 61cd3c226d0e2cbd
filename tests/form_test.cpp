// The window's toolkit-free rules: the name order of a listing, the header-click sort against a
// plain scan of the rows, where the window goes on the screens at hand, the design both windows
// lay out and size their controls by, and why a drawing failed.
#include "form/ConvertReport.h"
#include "form/FileListText.h"
#include "form/FormSettings.h"
#include "form/WindowDesign.h"
#include "form/WindowPlacement.h"
#include "form/WindowTexts.h"
#include "platform/system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace quellmark;
namespace fs = std::filesystem;

namespace {

bool OnScreen(const ScreenRect& window, const FrameMargins& frame, const ScreenRect& screen) {
    return window.left - frame.left >= screen.left && window.top - frame.top >= screen.top &&
           window.left + window.width + frame.right <= screen.left + screen.width &&
           window.top + window.height + frame.bottom <= screen.top + screen.height;
}

// The sort as the list describes it: for each row from the top, the row below holding the
// smallest key (largest when descending) changes place with it.
std::vector<std::pair<int, int>> ScannedExchanges(std::vector<std::string> keys, bool descending) {
    std::vector<std::pair<int, int>> exchanges;
    for (std::size_t r = 0; r + 1 < keys.size(); ++r) {
        std::size_t best = r;
        for (std::size_t s = r + 1; s < keys.size(); ++s) {
            if (descending ? keys[s] > keys[best] : keys[s] < keys[best]) best = s;
        }
        if (best != r) {
            std::swap(keys[r], keys[best]);
            exchanges.emplace_back(static_cast<int>(r) + 1, static_cast<int>(best) + 1);
        }
    }
    return exchanges;
}

}  // namespace

TEST(ListingOrder, NamesComeInNameOrderWithoutRegardToCase) {
    std::vector<std::string> names = {"b.jww", "A.JWW", "_x.jww", "a.jww", "図面.jww", "B10.jww", "b2.jww", "a"};
    std::sort(names.begin(), names.end(), ListsBefore);
    EXPECT_EQ(names,
              (std::vector<std::string>{"a", "A.JWW", "a.jww", "b.jww", "B10.jww", "b2.jww", "_x.jww", "図面.jww"}));
}

TEST(HeaderSort, MakesTheExchangesOfARowByRowScanAlsoAmongEqualKeys) {
    std::mt19937 random(12);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> keys(random() % 40);
        for (std::string& key : keys)
            key = std::string(1, static_cast<char>('A' + random() % 4)) + (random() % 3 ? "" : "\xE3");
        for (bool descending : {false, true}) {
            EXPECT_EQ(HeaderSortExchanges(keys, descending), ScannedExchanges(keys, descending)) << round;
        }
    }
}

TEST(WindowPlacement, AWindowOnAScreenStaysAndOthersComeOntoOneWhole) {
    const FrameMargins frame{1, 24, 1, 1};
    const ScreenRect left{0, 0, 1920, 1040};
    const ScreenRect right{1920, 0, 1280, 1024};
    const ScreenRect inside{300, 200, 696, 478};
    EXPECT_EQ(PlaceOnScreen(inside, frame, {left, right}).left, 300);
    EXPECT_EQ(PlaceOnScreen(inside, frame, {left, right}).top, 200);

    // A second screen that is gone, a title bar above the screen, a window larger than it.
    for (const ScreenRect saved :
         {ScreenRect{2500, 300, 696, 478}, ScreenRect{100, 5, 696, 478}, ScreenRect{-50, 100, 2500, 1500}}) {
        const ScreenRect placed = PlaceOnScreen(saved, frame, {left});
        EXPECT_TRUE(OnScreen(placed, frame, left)) << saved.left << "," << saved.top;
    }
    // The design's window on a 1280x800 screen scaled by 150%, less a panel.
    const ScreenRect scaled{0, 0, 853, 533 - 30};
    const ScreenRect placed = PlaceOnScreen({190, 109, 696, 478}, frame, {scaled});
    EXPECT_TRUE(OnScreen(placed, frame, scaled));
    EXPECT_EQ(placed.width, 696);
}

TEST(WindowDesign, TheDesignHoldsUntilTheTextsNeedMoreRoom) {
    design::TopPaneMeasures measures{60, 60, 100, 30, 16};
    design::TopPane pane = design::LayOutTopPane(measures);
    EXPECT_EQ(pane.typeBox.left, 88);
    EXPECT_EQ(pane.typeBox.width, 105);
    EXPECT_EQ(pane.destField.left, 88);
    EXPECT_EQ(pane.destField.width, 273);
    EXPECT_EQ(pane.browse.left, 368);
    EXPECT_EQ(pane.browse.width, 33);
    EXPECT_EQ(pane.convert.left, 408);
    // A wider label moves the fields right; a wider 参照 takes its width from the destination
    // field, and 変換 keeps clear of the type box.
    measures = {100, 60, 330, 50, 16};
    pane = design::LayOutTopPane(measures);
    EXPECT_EQ(pane.typeBox.left, 107);
    EXPECT_EQ(pane.browse.right(), 368 + 19 + 33);
    EXPECT_EQ(pane.destField.right() + 7, pane.browse.left);
    EXPECT_EQ(pane.convert.left, pane.typeBox.right() + 8);
}

TEST(WindowDesign, FittedColumnsShowTheirTextsAndTheMemoTakesTheRest) {
    design::ColumnMeasures measures;
    measures.header = {60, 40, 40, 60, 60, 30};
    measures.sample = {120, 70, 40, 0, 140, 20};
    std::array<int, kListColumns> stored;
    stored.fill(FormSettings::kFitColumn);
    EXPECT_EQ(design::ColumnWidths(stored, measures, 1000), (std::array<int, kListColumns>{120, 70, 40, 60, 140, 30}));
    // A narrow list: the name column gives up what is missing, down to its header.
    EXPECT_EQ(design::ColumnWidths(stored, measures, 400)[kNameColumn], 60);
    // What the user gave a column stays while the list holds it; a width a little short of the
    // column's texts (measured at another scale) shows them whole.
    stored = {200, 40, 36, 90, 125, 30};
    EXPECT_EQ(design::ColumnWidths(stored, measures, 1000), (std::array<int, kListColumns>{200, 40, 40, 90, 140, 30}));
    // Widths the list cannot hold come off the memo column, then the name column.
    EXPECT_EQ(design::ColumnWidths(stored, measures, 500), (std::array<int, kListColumns>{190, 40, 40, 60, 140, 30}));
    const std::array<int, kListColumns> widths{60, 70, 40, 60, 140, 30};
    EXPECT_EQ(design::MemoColumnWidth(widths, 60, 600), 260);
    EXPECT_EQ(design::MemoColumnWidth(widths, 60, 300), 60);
}

TEST(ConvertReport, SaysWhyInJapaneseAndKeepsTheRunsNotesApartFromFailures) {
    // Another program holding the file (Windows' sharing violation) is said as "in use", after what failed.
    const std::error_code busy = std::make_error_code(std::errc::device_or_resource_busy);
    const std::string inUse = "ほかのプログラムがファイルを使用中です。そのプログラムで閉じてからやり直して下さい";
    EXPECT_EQ(FailureText(MakeProblem(ProblemKind::CannotRead, "cannot open", busy)),
              "ファイルを読み込めません：" + inUse);
    EXPECT_EQ(FailureText(MakeProblem(ProblemKind::CannotKeepBackup, "cannot keep", busy)),
              "元のファイルを .BAK として残せません：" + inUse);
    EXPECT_NE(FailureText(MakeProblem(ProblemKind::BackupClash, "")).find("同じ名前の .BAK"), std::string::npos);

    // Debris that cannot be removed is no failure: under its own heading, in Japanese.
    BatchSummary summary;
    RunNote others;
    others.kind = RunNote::Kind::OthersLeft;
    others.path = "out";
    others.count = 3;
    summary.warnings = {NotRemoved(RunNote::Kind::CannotRemoveLeftover, fs::path("out") / ".qm-1-2.tmp",
                                   std::make_error_code(std::errc::permission_denied)),
                        others};
    EXPECT_EQ(BatchReportText({}, {}, {}, summary),
              std::string(texts::kRunNotesHeading) + "\n中断された以前の変換が残した「" +
                  PathText(fs::path("out") / ".qm-1-2.tmp") +
                  "」を削除できませんでした：アクセスが許可されていません。\n「out」に、別のユーザーの中断された変換が"
                  "残したファイルが 3 件あります。そのユーザーだけが削除できます。");
}
