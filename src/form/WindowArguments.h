// The window's command line, read before any display is opened: its help and its version print
// without one, and a folder given is searched at start. Free of any toolkit, as the form is.
#pragma once

#include "../platform/files.h"

#include <string>
#include <vector>

namespace quellmark {

struct WindowStart {
    enum class Action { Open, Help, Version, Refuse };
    Action action = Action::Open;
    std::string searchFolder;  // Open: the folder to search at start, absolute; empty for none
    std::string text;          // Help and Version: what to print; Refuse: why, for stderr
};

// arguments[0] is the program. Takes -h/--help, -V/--version or one FOLDER ("--" ends the
// options, so a folder may start with "-"); anything else is refused with what it takes.
WindowStart ReadWindowArguments(FileSystem& files, const std::vector<std::string>& arguments,
                                const std::string& version);

}  // namespace quellmark
