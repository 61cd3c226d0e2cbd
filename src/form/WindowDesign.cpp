// The main window's placing and sizing rules, in design units.
#include "WindowDesign.h"

#include "FormSettings.h"

#include <algorithm>

namespace quellmark::design {

namespace {

constexpr int kFieldLeft = 88;
constexpr int kLabelLeft = 4;
constexpr int kLabelGap = 3;
constexpr int kTypeBoxWidth = 105;
constexpr int kBrowseLeft = 368;
constexpr int kBrowseWidth = 33;
constexpr int kConvertLeft = 408;

}  // namespace

TopPane LayOutTopPane(const TopPaneMeasures& m) {
    const int shift =
        std::max({0, kLabelLeft + m.label1 + kLabelGap - kFieldLeft, kLabelLeft + m.label2 + kLabelGap - kFieldLeft});
    TopPane pane;
    pane.label1 = {kLabelLeft, 4, m.label1 + 2, m.labelHeight};
    pane.label2 = {kLabelLeft, 28, m.label2 + 2, m.labelHeight};
    pane.typeBox = {kFieldLeft + shift, 0, std::max(kTypeBoxWidth, m.typeBox), 21};
    const int browseWidth = std::max(kBrowseWidth, m.browse);
    pane.browse = {kBrowseLeft + shift - (browseWidth - kBrowseWidth), 24, browseWidth, 22};
    pane.destField = {kFieldLeft + shift, 24, std::max(40, pane.browse.left - 7 - (kFieldLeft + shift)), 20};
    pane.convert = {std::max(kConvertLeft + shift, pane.typeBox.right() + 8), 2, 75, 44};
    return pane;
}

std::array<int, kListColumns> ColumnWidths(const std::array<int, kListColumns>& stored, const ColumnMeasures& m,
                                           int listWidth) {
    std::array<int, kListColumns> widths = stored;
    int total = 0;
    for (int c = 0; c < kListColumns; ++c) {
        const int need = std::max(m.header[c], m.sample[c]);
        const bool nearlyFitted = stored[c] < need && stored[c] >= need - need / 8;
        if (stored[c] == FormSettings::kFitColumn || nearlyFitted) widths[c] = need;
        total += widths[c];
    }
    for (const int c : {kMemoColumn, kNameColumn}) {
        if (total <= listWidth) break;
        const int given = std::clamp(total - listWidth, 0, std::max(0, widths[c] - m.header[c]));
        widths[c] -= given;
        total -= given;
    }
    return widths;
}

int MemoColumnWidth(const std::array<int, kListColumns>& widths, int memoFloor, int listWidth) {
    int others = 0;
    for (int c = 0; c < kListColumns; ++c) {
        if (c != kMemoColumn) others += widths[c];
    }
    return std::max(memoFloor, listWidth - others);
}

Commands CommandsOf(FormActivity activity) {
    Commands on;
    // A folder search runs on while the window answers: its tree can be looked through as it
    // grows (a click on a folder is refused until it ends), and 中止 stops it.
    on.commands = activity != FormActivity::Converting && activity != FormActivity::Searching;
    on.tree = activity != FormActivity::Converting;
    on.batch = activity == FormActivity::Converting;
    on.stop = on.batch || activity == FormActivity::Searching;
    return on;
}

}  // namespace quellmark::design
