// The main window's settings as Quellmark.ini keeps them: window placement, the folder pane's
// width, the list's column widths and sort, the preview pane (shown, its height), the two folders, a carried name and the file type. Read once
// at start-up and written once at shut-down, key by key in a fixed order.
#pragma once

#include "../platform/files.h"

#include <array>
#include <filesystem>
#include <string>

namespace quellmark {

struct FormSettings {
    static constexpr int kFitColumn = -1;

    // The window's design values stand until a setting says otherwise.
    int left = 190;
    int top = 109;
    int width = 696;
    int height = 478;
    int panel1Width = 160;
    // kFitColumn until the file says otherwise: the window then sizes the column to its contents.
    // Widths, like the window's place and the folder pane, are kept in design units (pixels at
    // 96 dots per inch), whatever the screen's scale: the original program was unaware of
    // scales, so the system gave it 96-dpi pixels on every screen, and the files it wrote read
    // the same. Each window scales them by its own DPI when it applies them and back when it
    // saves them (Qt's logical pixels are design units already), so a file moves between
    // screens of any scale; what fonts measure a little differently at another scale, and
    // widths the list cannot hold, the column rules absorb (design::ColumnWidths).
    std::array<int, 6> columnWidths{kFitColumn, kFitColumn, kFitColumn, kFitColumn, kFitColumn, kFitColumn};
    std::string searchFolder;  // FLD1, with a trailing "/"; the caller presets the program folder
    std::string destFolder;    // FLD2, with a trailing "/" or empty
    std::string lastFileName;  // FNAM, carried from run to run
    int fileType = 0;          // FTYP: the file type's item index, -1 for none
    int maximized = 0;         // F1MX: 1 when the window was maximised (left..height its normal place)
    int sortColumn = -1;       // SORT: the column the list is sorted by, -1 for name order
    int sortDescending = 0;    // SDSC: 1 when that sort is descending
    int previewShown = 1;      // PVON: 1 when the preview pane shows
    int previewHeight = 200;   // PVSZ: the preview pane's height
};

// Overwrites each field whose key holds a non-empty value; a number that is not one reads as 0.
void ReadFormSettings(FileSystem& fs, const std::filesystem::path& iniPath, FormSettings& settings);

// Writes every key; a key that cannot be written does not stop the others. False when
// any could not be written.
bool WriteFormSettings(FileSystem& fs, const std::filesystem::path& iniPath, const FormSettings& settings);

}  // namespace quellmark
