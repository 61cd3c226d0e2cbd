// The Convert command's checks, in the order the window makes them.
#include "ConvertCommand.h"

#include "../platform/system.h"

namespace quellmark {

namespace fs = std::filesystem;

namespace {

bool Refuse(ConvertUi& ui, CommandRefusal why) {
    ui.Refuse(why);
    return false;
}

}  // namespace

bool CheckConvertCommand(const ConvertCommandInput& input, ConvertUi& ui, FileSystem& files) {
    if (!input.searchReady) return Refuse(ui, CommandRefusal::NoSearchFolder);
    if (!input.listShown) return Refuse(ui, CommandRefusal::NoFileList);
    if (input.names.empty()) return Refuse(ui, CommandRefusal::NoSelection);
    if (input.destFolder.empty()) return Refuse(ui, CommandRefusal::NoDestination);
    switch (CheckDestination(files, CommandSession(input, {})).kind) {
        case SetupKind::None: break;
        case SetupKind::DestIsSource:
        case SetupKind::DestInsideSource: return Refuse(ui, CommandRefusal::SameFolder);
        default: return Refuse(ui, CommandRefusal::DestinationMissing);
    }
    return ui.ConfirmStart();
}

JobList CommandJobs(const ConvertCommandInput& input) {
    JobList jobs;
    const fs::path source = PathFromText(input.sourceFolder);
    const fs::path dest = PathFromText(input.destFolder);
    for (const std::string& name : input.names) {
        if (!name.empty()) jobs.add(source / PathFromText(name), dest / PathFromText(name));
    }
    return jobs;
}

SessionRequest CommandSession(const ConvertCommandInput& input, const fs::path& tempBase) {
    SessionRequest request;
    request.dest = PathFromText(input.destFolder);
    request.sourceFolders = {{PathFromText(input.sourceFolder), false}};
    request.settings.sync = true;
    request.tempBase = tempBase;
    return request;
}

}  // namespace quellmark
