// What the main window asks of the desktop: message boxes, the beep, the folder picker, the
// shell's open action and whether Escape is held. The form calls it directly; each window brings
// the desktop of its system, and the tests a recording double.
#pragma once

#include "Box.h"

#include <filesystem>
#include <functional>
#include <string>

namespace quellmark {

// Why the desktop could not open a file.
enum class OpenProblem { NoApplication, Gone, Other };

class FormDesktop {
public:
    virtual ~FormDesktop() = default;
    virtual void Beep() = 0;
    // A modal box over the window; an empty title stands for the usual caption of the kind.
    virtual Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) = 0;
    // Takes away the message box that is up over the window, as though it had been closed
    // without an answer: its MessageBox returns Answer::Closed. Nothing when none is up.
    virtual void DismissBox() = 0;
    // A folder the user chose, starting at start; empty when cancelled.
    virtual std::string ChooseFolder(const std::string& title, const std::string& start) = 0;
    // Opens the file with the application the desktop has for it; when that fails, failed runs
    // on the window's thread, now or later, with the reason.
    virtual void OpenWithShell(const std::filesystem::path& file, std::function<void(OpenProblem)> failed) = 0;
    // Whether the Escape key is held down at this moment (a press is handed to the form as
    // input of its own).
    virtual bool EscapeDown() = 0;
};

}  // namespace quellmark
