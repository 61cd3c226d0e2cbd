// The window's Convert command without the window: the checks before a batch, in their order,
// and the confirmation, spoken through ConvertUi; what is shown for each is the window's business.
#pragma once

#include "../platform/files.h"
#include "../convert/session.h"

#include <string>
#include <vector>

namespace quellmark {

// Why the Convert command does not start.
enum class CommandRefusal {
    NoSearchFolder,      // no folder tree yet
    NoFileList,          // no files listed
    NoSelection,         // no file selected
    NoDestination,       // the destination field is empty
    DestinationMissing,  // no folder at the destination
    SameFolder,          // the destination is the listed folder (however spelled)
};

// What the command needs of a window.
class ConvertUi {
public:
    virtual ~ConvertUi() = default;
    virtual void Refuse(CommandRefusal why) = 0;
    // Asks before the batch starts; false when the user said no.
    virtual bool ConfirmStart() = 0;
};

struct ConvertCommandInput {
    bool searchReady = false;        // FSearchReady
    bool listShown = false;          // FListShown
    std::string sourceFolder;        // the listed folder, with a trailing separator
    std::string destFolder;          // the destination field
    std::vector<std::string> names;  // the selected file names, top to bottom
};

// Runs the checks and the confirmation; true when the batch may start.
bool CheckConvertCommand(const ConvertCommandInput& input, ConvertUi& ui, FileSystem& fs);

// The batch's jobs: each selected name from the source folder into the destination folder.
JobList CommandJobs(const ConvertCommandInput& input);

// The session the command starts: into the destination folder, which must be there, from the
// listed folder, syncing each drawing, waiting for another run into the destination.
SessionRequest CommandSession(const ConvertCommandInput& input, const std::filesystem::path& tempBase);

}  // namespace quellmark
