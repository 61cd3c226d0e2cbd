// `quellmark-cli preview DRAWING [-o FILE.svg] [--after]`: a drawing as an SVG picture, with the
// dimensions a conversion marks in one colour and those already marked in another.
#include "../convert/replace.h"
#include "../platform/system.h"
#include "../render/preview.h"
#include "../render/svg.h"
#include "commands.h"
#include "shown.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace quellmark::cli {

namespace fs = std::filesystem;

namespace {

struct PreviewOptions {
    std::string drawing;
    std::string output;  // empty: stdout
    bool after = false;
    bool dropTrailingBytes = false;
};

// Whether the output would be written over the drawing itself.
bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

std::string Count(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Writes the picture whole into its file, through the folder held open: the name holds the old
// file or the whole new one at every instant.
bool WritePicture(FileSystem& files, const fs::path& file, const std::string& svg, std::string& why) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::unique_ptr<FolderHandle> held;
    std::error_code ec = files.holdFolder(folder, held);
    if (!ec) ec = ReplaceFileIn(files, *held, file.filename(), svg);
    if (!ec) return true;
    why = "cannot write " + Shown(PathText(file)) + ": " + ErrorText(ec);
    return false;
}

int Run(const PreviewOptions& options) {
    FileSystem& files = RealFileSystem();
    const fs::path drawing = PathFromText(options.drawing);
    const fs::path output = PathFromText(options.output);
    if (!options.output.empty() && SameFile(drawing, output)) {
        throw UsageError("-o names the drawing itself; name another file for the picture");
    }
    const std::string shown = Shown(PathText(drawing));
    render::PreviewRequest request;
    request.converted = options.after;
    request.dropTrailingBytes = options.dropTrailingBytes;
    render::Preview preview;
    Problem problem;
    if (!render::BuildPreview(files, drawing, request, preview, problem)) {
        // The same line as convert's for a drawing that fails.
        const char* hint =
            problem.kind == ProblemKind::BytesAfterEnd ? " (--drop-trailing-bytes converts it without them)" : "";
        Complain("failed: " + shown + ": " + Shown(problem.message()) + hint);
        return kExitSomeFailed;
    }
    const render::DisplayList& list = preview.list;
    if (list.dropped > 0) {
        Complain("warning: " + shown + ": " + Count(list.dropped, "entity", "entities") +
                 " left out, with coordinates that cannot be drawn");
    }
    if (list.insertsLeftOut > 0) {
        Complain("warning: " + shown + ": " + Count(list.insertsLeftOut, "block insert", "block inserts") +
                 " left out (no such block, a block inside itself, or nested too deep)");
    }
    const std::string svg = render::WriteSvg(list, {Shown(PathText(drawing.filename())), options.after});
    if (options.output.empty()) {
        WriteOut(svg);
        return kExitOk;
    }
    std::string why;
    if (!WritePicture(files, output, svg, why)) {
        Complain(why);
        return kExitSomeFailed;
    }
    using render::DimensionMark;
    const auto dimensions = [&](DimensionMark mark) { return list.dimensions[static_cast<std::size_t>(mark)]; };
    std::string said = "preview: " + shown + " -> " + Shown(PathText(output)) + " (";
    if (options.after) {
        said += Count(dimensions(DimensionMark::Marked), "dimension", "dimensions") + " marked, as converted";
    } else {
        said += Count(dimensions(DimensionMark::ToMark), "dimension", "dimensions") + " to mark, " +
                std::to_string(dimensions(DimensionMark::Marked)) + " already marked";
        if (dimensions(DimensionMark::Unmarked) > 0) {
            said += ", " + std::to_string(dimensions(DimensionMark::Unmarked)) + " left unmarked";
        }
    }
    WriteOut(said + ")\n");
    return kExitOk;
}

}  // namespace

std::function<int()> AddPreviewCommand(CLI::App& app) {
    auto options = std::make_shared<PreviewOptions>();
    CLI::App* preview = app.add_subcommand("preview", "Draw a drawing as SVG, its dimensions coloured by their marks");
    SetUsage(*preview, "[OPTIONS] DRAWING");
    preview->add_option("DRAWING", options->drawing, "a JWW or JWS drawing")->required()->type_name("");
    preview->add_option("-o,--output", options->output, "write the SVG into FILE (default: stdout)")->type_name("FILE");
    preview->add_flag("--after", options->after, "draw the drawing as converted, every dimension marked");
    preview->add_flag("--drop-trailing-bytes", options->dropTrailingBytes,
                      "draw a drawing with bytes after its end without them, instead of failing");
    preview->footer(
        "Dimensions the conversion would mark are orange, those already marked blue.\n"
        "Examples:\n"
        "  quellmark-cli preview plan.jww -o plan.svg\n"
        "  quellmark-cli preview --after plan.jww > plan-converted.svg");
    return [options] { return Run(*options); };
}

}  // namespace quellmark::cli
