// Windows' own desktop for the form: message boxes, the beep, the folder picker, the shell's
// open action and the Escape key; and the conversions between the form's UTF-8 and UTF-16.
#pragma once

#include "../form/FormDesktop.h"

#include <windows.h>
// The view's MessageBox is ours; Windows' own is called MessageBoxW by name.
#undef MessageBox

#include <filesystem>
#include <functional>
#include <string>
#include <utility>

namespace quellmark {

// Windows itself, behind the form's FormDesktop.
class SystemDesktop final : public FormDesktop {
public:
    // The window the boxes and the picker belong to, asked for when one shows.
    void SetOwner(std::function<HWND()> owner) { owner_ = std::move(owner); }

    void Beep() override;
    Answer MessageBox(const std::string& title, const std::string& text, BoxKind kind, Buttons buttons) override;
    // The box is modal with a loop of Windows' own: it is found among the windows of this
    // thread that the window owns, and ended as a dialog is.
    void DismissBox() override;
    std::string ChooseFolder(const std::string& title, const std::string& start) override;
    void OpenWithShell(const std::filesystem::path& file, std::function<void(OpenProblem)> failed) override;
    bool EscapeDown() override;

private:
    HWND Owner() const { return owner_ ? owner_() : nullptr; }
    std::function<HWND()> owner_;
};

// Between the form's UTF-8 and Windows' UTF-16.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

}  // namespace quellmark
