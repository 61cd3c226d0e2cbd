// What the Win32 window asks of the desktop: message boxes, the beep, the folder picker, the
// shell's open action and the Escape key. One interface, so the window runs the same against
// Windows and against a recording double in its tests.
#pragma once

#include "../form/Box.h"

#include <windows.h>
// The view's MessageBox is ours; Windows' own is called MessageBoxW by name.
#undef MessageBox

#include <string>

namespace quellmark {

class Win32Desktop {
public:
    virtual ~Win32Desktop() = default;
    // A modal box; an empty title stands for the usual caption of the kind.
    virtual Answer MessageBox(HWND owner, const std::wstring& title, const std::wstring& text, BoxKind kind,
                              Buttons buttons) = 0;
    virtual void Beep() = 0;
    // A folder the user chose, starting at start; empty when cancelled.
    virtual std::wstring ChooseFolder(HWND owner, const std::wstring& title, const std::wstring& start) = 0;
    // Opens the file with its application; false when Windows has none for it.
    virtual bool OpenWithShell(HWND owner, const std::wstring& file) = 0;
    // Whether the Escape key is down now, or was pressed since the last call.
    virtual bool EscapeDown() = 0;
};

// Windows itself.
class SystemDesktop final : public Win32Desktop {
public:
    Answer MessageBox(HWND owner, const std::wstring& title, const std::wstring& text, BoxKind kind,
                      Buttons buttons) override;
    void Beep() override;
    std::wstring ChooseFolder(HWND owner, const std::wstring& title, const std::wstring& start) override;
    bool OpenWithShell(HWND owner, const std::wstring& file) override;
    bool EscapeDown() override;
};

// Between the form's UTF-8 and Windows' UTF-16.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

}  // namespace quellmark
