// The settings file's reader and writer: lookups without regard to letter case or surrounding
// blanks, the capacity cut, empty values, in-place replacement that keeps the rest of a file,
// new sections and keys, values that would break the file's lines, and a file Notepad saved as
// UTF-8.
#include "testkit.h"

#include "form/FormSettings.h"
#include "form/UnitIni.h"

#include <fstream>

using namespace quellmark;
using namespace qmtest;

namespace {

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string Read(const fs::path& path, const char* section, const char* key, std::size_t capacity = 512,
                 bool* found = nullptr) {
    std::string value = "untouched";
    const bool ok = ReadIniString(RealFileSystem(), section, key, value, capacity, path);
    if (found) *found = ok;
    return value;
}

class IniFile : public ::testing::Test {
protected:
    fs::path ini() const { return dir / "Quellmark.ini"; }
    TempDir dir;
};

}  // namespace

TEST_F(IniFile, AMissingFileSectionOrKeyGivesAnEmptyValueAndFalse) {
    bool found = true;
    EXPECT_EQ(Read(ini(), "Set", "FLD1", 512, &found), "");
    EXPECT_FALSE(found);

    Put(ini(), "[Form]\nF1_X=190\n");
    EXPECT_EQ(Read(ini(), "Comp", "F1_X", 512, &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(Read(ini(), "Form", "F1_Y", 512, &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(Read(ini(), "Form", "F1_X", 512, &found), "190");
    EXPECT_TRUE(found);
}

TEST_F(IniFile, SectionsAndKeysAreFoundWhateverTheirCaseAndBlanks) {
    Put(ini(), "  [ form ]  \r\n  f1_x  =   -12  \r\n[SET]\r\nFld1=\t/data/図面/ \r\n");
    EXPECT_EQ(Read(ini(), "Form", "F1_X"), "-12");
    EXPECT_EQ(Read(ini(), "FORM", " F1_X "), "-12");
    EXPECT_EQ(Read(ini(), "set", "FLD1"), "/data/図面/");
}

TEST_F(IniFile, AnEmptyValueOrAKeyWithoutEqualsReadsAsNothing) {
    Put(ini(), "[Form]\nF1_W=\nF1_H\nF1_X=5\n");
    bool found = true;
    EXPECT_EQ(Read(ini(), "Form", "F1_W", 22, &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(Read(ini(), "Form", "F1_H", 22, &found), "");
    EXPECT_FALSE(found);
}

TEST_F(IniFile, TheFirstOfTwoEqualKeysCounts) {
    Put(ini(), "[Set]\nFTYP=2\nFTYP=3\n[Set]\nFTYP=4\n");
    EXPECT_EQ(Read(ini(), "Set", "FTYP"), "2");
}

TEST_F(IniFile, AValueLongerThanTheCapacityIsCutToCapacityLessOneBytes) {
    const std::string folder = "/" + std::string(600, 'd') + "/";
    Put(ini(), "[Set]\nFLD1=" + folder + "\n");
    EXPECT_EQ(Read(ini(), "Set", "FLD1", 512), folder.substr(0, 511));
    EXPECT_EQ(Read(ini(), "Set", "FLD1", 2), "/");
    bool found = true;
    EXPECT_EQ(Read(ini(), "Set", "FLD1", 1, &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(Read(ini(), "Set", "FLD1", 0, &found), "");
    EXPECT_FALSE(found);
}

TEST_F(IniFile, ACutNeverSplitsAUtf8Character) {
    Put(ini(), "[Set]\nFNAM=ab図面\n");  // 図 and 面 take three bytes each
    EXPECT_EQ(Read(ini(), "Set", "FNAM", 5), "ab");
    EXPECT_EQ(Read(ini(), "Set", "FNAM", 6), "ab図");
    EXPECT_EQ(Read(ini(), "Set", "FNAM", 9), "ab図面");
}

TEST_F(IniFile, AFreshFileGetsItsSectionsInTheOrderWritten) {
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Form", "F1_X", "190", ini()));
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Form", "F1_Y", "109", ini()));
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Comp", "F1P1", "160", ini()));
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Set", "FLD2", "", ini()));
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Set", "FTYP", "-1", ini()));
    EXPECT_EQ(Contents(ini()), "[Form]\nF1_X=190\nF1_Y=109\n\n[Comp]\nF1P1=160\n\n[Set]\nFLD2=\nFTYP=-1\n");
}

TEST_F(IniFile, AnExistingKeyIsReplacedOnItsOwnLineAndEverythingElseStays) {
    const std::string before =
        "; written by hand\r\n[Form]\r\n  f1_x = 5\r\nOTHER=keep me\r\n\r\n[Set]\r\nFLD1=/old/\r\n";
    Put(ini(), before);
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "FORM", "F1_X", "190", ini()));
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Set", "FLD1", "", ini()));
    EXPECT_EQ(Contents(ini()), "; written by hand\r\n[Form]\r\nf1_x=190\r\nOTHER=keep me\r\n\r\n[Set]\r\nFLD1=\r\n");
    bool found = true;
    EXPECT_EQ(Read(ini(), "Set", "FLD1", 512, &found), "");
    EXPECT_FALSE(found);
}

TEST_F(IniFile, ANewKeyJoinsTheEndOfItsSectionBeforeTheBlankLines) {
    Put(ini(), "[Form]\nF1_X=1\n\n[Set]\nFTYP=0");
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Form", "F1_Y", "2", ini()));
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Set", "FNAM", "a b", ini()));
    EXPECT_EQ(Contents(ini()), "[Form]\nF1_X=1\nF1_Y=2\n\n[Set]\nFTYP=0\nFNAM=a b\n");
    EXPECT_EQ(Read(ini(), "Set", "FNAM"), "a b");
}

TEST_F(IniFile, WhatWasWrittenIsReadBack) {
    const std::string values[] = {"0", "-2147483648", "/home/user/図面 2024/", "x=y", "[not a section]"};
    for (const std::string& value : values) {
        ASSERT_TRUE(WriteIniString(RealFileSystem(), "Set", "FNAM", value, ini())) << value;
        EXPECT_EQ(Read(ini(), "Set", "FNAM"), value);
    }
}

TEST_F(IniFile, NamesAndValuesThatWouldBreakTheLinesAreRefused) {
    Put(ini(), "[Set]\nFLD1=/a/\n");
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", "FLD1", "/a\nF1_W=0/", ini()));
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", "FLD1", "/a\r/", ini()));
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", "F=X", "1", ini()));
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", "[X]", "1", ini()));
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Se]t", "X", "1", ini()));
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "", "X", "1", ini()));
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", " ", "1", ini()));
    EXPECT_EQ(Contents(ini()), "[Set]\nFLD1=/a/\n");
}

TEST_F(IniFile, AFileThatCannotBeWrittenReportsFailure) {
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", "FTYP", "0", dir / "missing-folder" / "Quellmark.ini"));
    fs::create_directory(ini());  // a folder where the file should be
    EXPECT_FALSE(WriteIniString(RealFileSystem(), "Set", "FTYP", "0", ini()));
    bool found = true;
    EXPECT_EQ(Read(ini(), "Set", "FTYP", 22, &found), "");
    EXPECT_FALSE(found);
}

TEST_F(IniFile, AByteOrderMarkIsNoPartOfTheFirstSection) {
    Put(ini(), "\xEF\xBB\xBF[Form]\nF1_X=3\n");
    EXPECT_EQ(Read(ini(), "Form", "F1_X"), "3");
    EXPECT_TRUE(WriteIniString(RealFileSystem(), "Form", "F1_X", "4", ini()));
    EXPECT_EQ(Contents(ini()), "\xEF\xBB\xBF[Form]\nF1_X=4\n");
}

TEST_F(IniFile, ANotepadUtf8FileIsReadAsUtf8AndWrittenBackInItsOwnForm) {
    const std::string folder = "C:\\図面\\平面図";
    for (const std::string bom : {"\xEF\xBB\xBF", ""}) {
        Put(ini(), bom + "[Set]\r\nFLD1=" + folder + "\r\n");
        EXPECT_EQ(IniTextOf(RealFileSystem(), ini()), IniText::Utf8);
        FormSettings settings;
        ReadFormSettings(RealFileSystem(), ini(), settings);
        EXPECT_EQ(settings.searchFolder, folder);
        settings.destFolder = "D:\\出力";
        ASSERT_TRUE(WriteFormSettings(RealFileSystem(), ini(), settings));
        EXPECT_TRUE(Contents(ini()).starts_with(bom + "[Set]\r\nFLD1=" + folder + "\r\nFLD2=D:\\出力\r\n"))
            << Contents(ini());
    }
    // Shift-JIS ("図面"), or ASCII alone: the system code page, as the system's profile functions write.
    Put(ini(), "[Set]\r\nFLD1=C:\\\x90\x7D\x96\xCA\r\n");
    EXPECT_EQ(IniTextOf(RealFileSystem(), ini()), IniText::SystemCodePage);
    Put(ini(), "[Set]\r\nFLD1=C:\\plans\r\n");
    EXPECT_EQ(IniTextOf(RealFileSystem(), ini()), IniText::SystemCodePage);
}
