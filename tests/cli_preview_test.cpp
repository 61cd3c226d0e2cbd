// quellmark-cli preview, run as a user runs it: the examples drawn as well-formed SVG, damaged
// drawings failing as convert fails them, the converted view; and the pictures opened in headless
// Chromium, not blank, within their view box, the dimensions to mark in their colour.
#include "testkit.h"

#include <cstdio>
#include <fstream>
#include <sstream>

using namespace qmtest;

namespace {

CommandResult Cli(const std::string& args) { return RunCommand(std::string(QUELLMARK_CLI) + " " + args + " 2>&1"); }

std::string FileText(const fs::path& path) {
    const Bytes bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// xmllint's verdict; on Windows, where there is none, the same writer's output is checked on Linux.
bool WellFormed(const fs::path& svg) {
#ifdef _WIN32
    return fs::exists(svg);
#else
    return RunCommand("xmllint --noout " + ShellWord(svg) + " 2>&1").status == 0;
#endif
}

bool Drawing(const fs::path& path) {
    const std::string ext = path.extension().string();
    return (ext == ".jww" || ext == ".jws") && path.filename() != "broken.jww";
}

std::vector<fs::path> Examples() {
    std::vector<fs::path> out;
    for (const auto& entry : fs::directory_iterator(QUELLMARK_SOURCE_DIR "/examples")) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

#ifndef _WIN32  // the picture is looked at on Linux, with Chromium and ImageMagick
// The numbers of the first attribute `name` after `after`, such as viewBox="x y w h".
std::vector<double> Numbers(const std::string& svg, const std::string& after, const std::string& name) {
    std::vector<double> out;
    const std::size_t from = svg.find(after);
    const std::size_t at = from == std::string::npos ? from : svg.find(" " + name + "=\"", from);
    if (at == std::string::npos) return out;
    const std::size_t begin = at + name.size() + 3;
    std::istringstream in(svg.substr(begin, svg.find('"', begin) - begin));
    for (double v; in >> v;) out.push_back(v);
    return out;
}

// "WxH+X+Y" of what ImageMagick finds in the picture that is not white (or, with `only`, of that
// colour alone) within the crop; an empty box is "0x0+...".
struct Box {
    double w = 0, h = 0, x = 0, y = 0;
};
Box ContentBox(const fs::path& png, const std::string& crop, const std::string& only = "") {
    const std::string keep = only.empty() ? "" : " -fuzz 25% -fill white +opaque \"" + only + "\"";
    const CommandResult r = RunCommand("convert " + ShellWord(png) + " -crop " + crop + " +repage" + keep +
                                       " -fuzz 5% -format %@ info: 2>/dev/null");
    Box box;
    if (std::sscanf(r.out.c_str(), "%lfx%lf+%lf+%lf", &box.w, &box.h, &box.x, &box.y) != 4) box = {};
    return box;
}

#endif

}  // namespace

TEST(CliPreview, ExamplesDrawAsWellFormedSvgAndDamagedOnesFailAsConvertDoes) {
    const TempDir dir;
    for (const fs::path& example : Examples()) {
        SCOPED_TRACE(example.filename().string());
        const fs::path svg = dir / (example.filename().string() + ".svg");
        const CommandResult r = Cli("preview " + ShellWord(example) + " -o " + ShellWord(svg));
        if (Drawing(example)) {
            EXPECT_EQ(r.status, 0) << r.out;
            EXPECT_TRUE(WellFormed(svg));
            EXPECT_NE(r.out.find("dimension"), std::string::npos) << r.out;
            continue;
        }
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_FALSE(fs::exists(svg));  // no partial picture
        if (example.filename() == "broken.jww") {
            const CommandResult convert = Cli("convert -n -q -o " + ShellWord(dir / "out") + " " + ShellWord(example));
            EXPECT_EQ(convert.status, 1);
            const std::string failedLine = r.out.substr(0, r.out.find('\n') + 1);
            EXPECT_NE(failedLine.find("quellmark-cli: failed: "), std::string::npos);
            EXPECT_NE(convert.out.find(failedLine), std::string::npos) << convert.out;
        }
    }

    // Without -o the picture goes to stdout; --after draws every dimension marked.
    const std::string plan = QUELLMARK_SOURCE_DIR "/examples/floor-plan-600.jww";
    const CommandResult toStdout = RunCommand(std::string(QUELLMARK_CLI) + " preview " + ShellWord(plan) + kDropStderr);
    EXPECT_EQ(toStdout.status, 0);
    const auto lines = [](std::string text) {  // a console on Windows may end lines with CR LF
        std::erase(text, '\r');
        return text;
    };
    EXPECT_EQ(lines(toStdout.out), lines(FileText(dir / "floor-plan-600.jww.svg")));
    EXPECT_NE(toStdout.out.find("1 dimension marked by this conversion"), std::string::npos);
    const CommandResult after = Cli("preview --after " + ShellWord(plan) + " -o " + ShellWord(dir / "after.svg"));
    EXPECT_EQ(after.status, 0) << after.out;
    const std::string converted = FileText(dir / "after.svg");
    EXPECT_NE(converted.find("(as converted)"), std::string::npos);
    EXPECT_NE(converted.find("2 dimensions marked"), std::string::npos);
    EXPECT_EQ(converted.find("#f76707"), std::string::npos);  // nothing left to mark
    EXPECT_TRUE(WellFormed(dir / "after.svg"));

    // A picture is never written over the drawing.
    const fs::path copy = dir / "copy.jww";
    fs::copy_file(plan, copy);
    const CommandResult over = Cli("preview " + ShellWord(copy) + " -o " + ShellWord(copy));
    EXPECT_EQ(over.status, 2) << over.out;
    EXPECT_EQ(ReadFile(copy), ReadFile(plan));
}

#ifndef _WIN32
TEST(CliPreview, ExamplesOpenInChromiumAsTheirDrawings) {
    if (RunCommand("command -v chromium && command -v convert").status != 0) {
        GTEST_SKIP() << "chromium or ImageMagick is missing (scripts/install-deps test installs them)";
    }
    const TempDir dir;
    constexpr double kWidth = 800, kHeight = 600;
    for (const fs::path& example : Examples()) {
        if (!Drawing(example)) continue;
        SCOPED_TRACE(example.filename().string());
        const fs::path svg = dir / (example.stem().string() + ".svg");
        const fs::path png = dir / (example.stem().string() + ".png");
        ASSERT_EQ(Cli("preview " + ShellWord(example) + " -o " + ShellWord(svg)).status, 0);
        const CommandResult shot =
            RunCommand("chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir=" +
                       ShellWord(dir / "profile") + " --window-size=800,600 --screenshot=" + ShellWord(png) + " " +
                       ShellWord("file://" + svg.string()) + " 2>&1");
        ASSERT_TRUE(fs::exists(png)) << shot.out;

        // Where the view box lies on the screen (fitted and centred), and where its legend starts.
        const std::string text = FileText(svg);
        const std::vector<double> view = Numbers(text, "<svg ", "viewBox");
        const std::vector<double> legendTop = Numbers(text, "id=\"legend-area\"", "y");
        ASSERT_EQ(view.size(), 4u);
        ASSERT_EQ(legendTop.size(), 1u);
        const double scale = std::min(kWidth / view[2], kHeight / view[3]);
        const double left = (kWidth - view[2] * scale) / 2;
        const double top = (kHeight - view[3] * scale) / 2;
        const double drawingHeight = (legendTop[0] - view[1]) * scale;

        const Box all = ContentBox(png, "800x600+0+0");
        EXPECT_GT(all.w, view[2] * scale / 4) << "blank";
        EXPECT_GE(all.x, left - 1);
        EXPECT_GE(all.y, top - 1);
        EXPECT_LE(all.x + all.w, left + view[2] * scale + 1);
        EXPECT_LE(all.y + all.h, top + view[3] * scale + 1);
        // Above the legend: the drawing itself, with its dimensions to mark in orange.
        const std::string above = std::to_string(static_cast<int>(view[2] * scale)) + "x" +
                                  std::to_string(static_cast<int>(drawingHeight)) + "+" +
                                  std::to_string(static_cast<int>(left)) + "+" + std::to_string(static_cast<int>(top));
        EXPECT_GT(ContentBox(png, above).w, view[2] * scale / 4);
        EXPECT_GT(ContentBox(png, above, "#f76707").w, 0);
    }
}
#endif
