// The keys of Quellmark.ini in their order, with the room each value is read with.
#include "FormSettings.h"

#include "../drawing/Func_.h"
#include "../platform/system.h"
#include "UnitIni.h"

#include <exception>

namespace quellmark {

namespace {

constexpr std::size_t kNumberCapacity = 22;
constexpr std::size_t kTextCapacity = 512;

constexpr const char* kForm = "Form";
constexpr const char* kComp = "Comp";
constexpr const char* kSet = "Set";
constexpr const char* kColumnKeys[6] = {"F1S0", "F1S1", "F1S2", "F1S3", "F1S4", "F1S5"};

// Texts are UTF-8 in the program; in the file, in the form the file is in.
class Reader {
public:
    Reader(FileSystem& files, const std::filesystem::path& path)
        : files_(files), path_(path), utf8_(IniTextOf(files, path) == IniText::Utf8) {}
    void number(const char* section, const char* key, int& field) {
        std::string value;
        if (ReadIniString(files_, section, key, value, kNumberCapacity, path_)) field = StrToIntDef0(value);
    }
    void text(const char* section, const char* key, std::string& field) {
        std::string value;
        if (ReadIniString(files_, section, key, value, kTextCapacity, path_)) {
            field = utf8_ ? value : Utf8FromSettingsText(value);
        }
    }

private:
    FileSystem& files_;
    const std::filesystem::path& path_;
    bool utf8_;
};

class Writer {
public:
    Writer(FileSystem& files, const std::filesystem::path& path)
        : files_(files), path_(path), utf8_(IniTextOf(files, path) == IniText::Utf8) {}
    void number(const char* section, const char* key, int value) { write(section, key, std::to_string(value)); }
    void text(const char* section, const char* key, const std::string& value) {
        write(section, key, utf8_ ? value : SettingsTextFromUtf8(value));
    }
    void write(const char* section, const char* key, const std::string& stored) {
        if (!WriteIniString(files_, section, key, stored, path_)) allWritten = false;
    }
    bool allWritten = true;

private:
    FileSystem& files_;
    const std::filesystem::path& path_;
    bool utf8_;
};

}  // namespace

// Every key in the order it is read and written; io is the Reader or the Writer.
template <typename Io, typename Settings>
void ForEachSetting(Io& io, Settings& s) {
    io.number(kForm, "F1_X", s.left);
    io.number(kForm, "F1_Y", s.top);
    io.number(kForm, "F1_W", s.width);
    io.number(kForm, "F1_H", s.height);
    io.number(kForm, "F1MX", s.maximized);
    io.number(kComp, "F1P1", s.panel1Width);
    for (int c = 0; c < 6; ++c) io.number(kComp, kColumnKeys[c], s.columnWidths[c]);
    io.number(kComp, "PVON", s.previewShown);
    io.number(kComp, "PVSZ", s.previewHeight);
    io.text(kSet, "FLD1", s.searchFolder);
    io.text(kSet, "FLD2", s.destFolder);
    io.text(kSet, "FNAM", s.lastFileName);
    io.number(kSet, "FTYP", s.fileType);
    io.number(kSet, "SORT", s.sortColumn);
    io.number(kSet, "SDSC", s.sortDescending);
}

void ReadFormSettings(FileSystem& files, const std::filesystem::path& iniPath, FormSettings& s) {
    Reader in(files, iniPath);
    ForEachSetting(in, s);
}

bool WriteFormSettings(FileSystem& files, const std::filesystem::path& iniPath, const FormSettings& s) {
    // Settings are a convenience: nothing that goes wrong here may keep the window from closing.
    try {
        Writer out(files, iniPath);
        ForEachSetting(out, s);
        return out.allWritten;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace quellmark
