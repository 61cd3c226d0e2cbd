// `quellmark-cli info PATH...`: what each drawing holds, as text or as JSON Lines; folders
// are walked as convert walks them.
#include "../convert/inspect.h"
#include "../platform/cp932.h"
#include "../platform/system.h"
#include "changes_text.h"
#include "commands.h"
#include "shown.h"
#include "walk.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <sstream>

namespace quellmark::cli {

namespace {

constexpr const char* kClassLabels[8] = {"",      "lines",  "arcs",   "points",
                                         "texts", "dimensions", "solids", "block inserts"};
constexpr const char* kClassKeys[8] = {"",     "lines",  "arcs",   "points",
                                       "texts", "dimensions", "solids", "block_inserts"};

struct InfoOptions {
    std::vector<std::filesystem::path> paths;
    bool recursive = false;
    bool hidden = false;
    bool json = false;
};

// A file found in a folder is described only when its name says it is a drawing; a file named
// on the command line always is.
bool WantsInfo(const SourceFile& file) { return file.named || FormatOfName(file.path) != DrawingFormat::None; }

// "would mark 2 dimensions and normalise: 2 header values reset", "would change nothing".
std::string ConversionText(const DrawingInfo& info) {
    const std::string changes = ChangesText(info.changes);
    std::string text;
    if (info.toMark > 0) {
        text = "would mark " + std::to_string(info.toMark) + (info.toMark == 1 ? " dimension" : " dimensions");
    }
    if (!changes.empty()) text += (text.empty() ? "would normalise: " : " and normalise: ") + changes;
    return text.empty() ? "would change nothing" : text;
}

std::string Text(const std::string& path, const DrawingInfo& info) {
    std::ostringstream out;
    out << Shown(path) << "\n";
    out << "  format:     " << FormatName(info.format) << " version " << info.version << "\n";
    if (info.format == DrawingFormat::Jww) {
        out << "  memo:       " << Cp932ToDisplayUtf8(info.memo) << "\n";
    }
    out << "  entities:   " << info.entityCount;
    const char* separator = " (";
    for (int c = 1; c <= 7; ++c) {
        if (info.entitiesByClass[c] == 0) continue;
        out << separator << kClassLabels[c] << " " << info.entitiesByClass[c];
        separator = ", ";
    }
    out << (separator[0] == ',' ? ")" : "") << "\n";
    out << "  dimensions: " << info.dimensions.dimensions << ", already marked " << info.dimensions.marked << "\n";
    out << "  conversion: " << ConversionText(info) << "\n";
    if (info.trailingBytes > 0) {
        out << "  after end:  " << info.trailingBytes << " bytes, from offset " << info.end
            << " (convert refuses the drawing; --drop-trailing-bytes converts it without them)\n";
    }
    if (!info.blocks.empty()) {
        out << "  blocks:     " << info.blocks.size() << "\n";
        for (const auto& block : info.blocks) {
            out << "    \"" << Cp932ToDisplayUtf8(block.name) << "\": " << block.members
                << (block.members == 1 ? " member" : " members") << "\n";
        }
    }
    if (!info.images.empty()) {
        out << "  images:     " << info.images.size() << "\n";
        for (const auto& image : info.images) {
            out << "    \"" << Cp932ToDisplayUtf8(image.name) << "\": " << image.size << " bytes, "
                << (image.referenced ? "referred to" : "not referred to") << "\n";
        }
    }
    return out.str();
}

nlohmann::json ToJson(const std::string& path, const DrawingInfo& info) {
    nlohmann::json entities = nlohmann::json::object();
    for (int c = 1; c <= 7; ++c) entities[kClassKeys[c]] = info.entitiesByClass[c];
    nlohmann::json blocks = nlohmann::json::array();
    for (const auto& block : info.blocks) {
        blocks.push_back({{"name", Cp932ToUtf8(block.name)}, {"members", block.members}});
    }
    nlohmann::json images = nlohmann::json::array();
    for (const auto& image : info.images) {
        images.push_back({{"name", Cp932ToUtf8(image.name)},
                          {"size", image.size},
                          {"referenced", image.referenced}});
    }
    nlohmann::json out = {{"path", path},
                          {"format", FormatName(info.format)},
                          {"version", info.version},
                          {"entity_count", info.entityCount},
                          {"entities", entities},
                          {"dimensions", info.dimensions.dimensions},
                          {"already_marked", info.dimensions.marked},
                          {"blocks", blocks},
                          {"images", images},
                          {"would_mark", info.toMark},
                          {"changes", ChangesJson(info.changes)},
                          {"bytes_after_end", info.trailingBytes}};
    if (info.trailingBytes > 0) out["end_offset"] = info.end;
    if (info.format == DrawingFormat::Jww) out["memo"] = Cp932ToUtf8(info.memo);
    return out;
}

int Run(const InfoOptions& options) {
    if (options.paths.empty()) throw UsageError("no PATH given: name the drawings or folders to describe");
    FileSystem& files = RealFileSystem();
    std::size_t described = 0;
    std::size_t failed = 0;
    const WalkCounts walk =
        WalkSources(files, options.paths, {options.recursive, options.hidden}, [&](const SourceFile& file) {
            if (!WantsInfo(file)) return;
            const std::string path = PathText(file.path);
            DrawingInfo info;
            Failure failure;
            if (InspectDrawing(files, file.path, info, &failure)) {
                ++described;
                WriteOut(options.json ? JsonLine(ToJson(path, info)) : Text(path, info));
                return;
            }
            ++failed;
            if (options.json) {
                nlohmann::json out = {{"path", path}, {"kind", KindName(failure.kind)}, {"error", failure.message()}};
                if (!IsUtf8(path)) out["path_hex"] = Hex(path);
                if (info.format != DrawingFormat::None) {
                    out["format"] = FormatName(info.format);
                    out["version"] = info.version;
                }
                if (failure.offset >= 0) out["offset"] = failure.offset;
                WriteOut(JsonLine(out));
            } else {
                Complain(Shown(path) + ": " + failure.message());
            }
        });
    ReportWalk(walk);
    // The counts end the text as convert's summary ends its lines; JSON Lines stay one object per file.
    if (!options.json) WriteOut("described " + std::to_string(described) + ", failed " + std::to_string(failed) + "\n");
    return failed == 0 && walk.unreadable.empty() ? kExitOk : kExitSomeFailed;
}

}  // namespace

std::function<int()> AddInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InfoOptions>();
    CLI::App* info = app.add_subcommand("info", "Describe drawings: format, version, memo, contents");
    SetUsage(*info, "[OPTIONS] PATH...");
    info->add_option("PATH", options->paths, "JWW or JWS drawings, or folders of them")->type_name("");
    info->add_flag("-r,--recursive", options->recursive, "describe the drawings of whole folder trees");
    info->add_flag("--hidden", options->hidden, "with -r, enter hidden folders (names starting with .)");
    info->add_flag("--json", options->json, "one JSON object per file");
    info->footer(
        "Examples:\n"
        "  quellmark-cli info plan.jww\n"
        "  quellmark-cli info -r --json drawings");
    return [options] { return Run(*options); };
}

}  // namespace quellmark::cli
