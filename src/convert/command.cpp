// The Convert command's checks, in the order the window makes them.
#include "command.h"

namespace quellmark {

namespace fs = std::filesystem;

namespace {

bool SameFolder(FileSystem& files, const std::string& a, const std::string& b) {
    if (a == b) return true;
    if (!files.isDirectory(a) || !files.isDirectory(b)) return false;
    return SameFileOrFolder(fs::path(a), fs::path(b));
}

bool Refuse(ConvertUi& ui, CommandRefusal why) {
    ui.Refuse(why);
    return false;
}

}  // namespace

bool CheckConvertCommand(const ConvertCommandInput& input, ConvertUi& ui, FileSystem& files) {
    if (!input.searchReady) return Refuse(ui, CommandRefusal::NoSearchFolder);
    if (!input.listShown) return Refuse(ui, CommandRefusal::NoFileList);
    if (input.destFolder.empty()) return Refuse(ui, CommandRefusal::NoDestination);
    if (!files.isDirectory(input.destFolder)) return Refuse(ui, CommandRefusal::DestinationMissing);
    if (SameFolder(files, input.destFolder, input.sourceFolder)) return Refuse(ui, CommandRefusal::SameFolder);
    return ui.ConfirmStart();
}

std::vector<BatchJob> CommandJobs(const ConvertCommandInput& input) {
    std::vector<BatchJob> jobs;
    for (const std::string& name : input.names) {
        if (name.empty()) continue;
        jobs.push_back({input.sourceFolder + name, input.destFolder + name});
    }
    return jobs;
}

}  // namespace quellmark
