// What the Windows side of this folder shares between its files (files_win32.cpp and
// system_win32.cpp, which defines them): Win32 errors as the portable conditions the engine
// tests for, and paths taken apart as Win32 itself takes them. Only Windows builds include it.
#pragma once

#include <cstddef>
#include <string>
#include <system_error>

#include <windows.h>

namespace quellmark {

// A Win32 error as the portable condition (std::errc) where there is one, so that callers can
// compare it with no_such_file_or_directory and the like; the system's own code otherwise.
std::error_code Win32Error(DWORD code = ::GetLastError());

// Win32 takes both slashes between the parts of a path.
bool IsSeparator(wchar_t c);

// The path made full as Win32 makes every path it is given: current folder and drive added, "."
// and ".." taken by spelling, slashes turned round. It knows shares (\\server\share) and the
// \\.\ and \\?\ forms, which the standard library's path does not take apart. The text as it
// is when Win32 cannot make it full.
std::wstring FullPathName(const std::wstring& text);

// The characters of a full path's root with its closing backslash: "C:\", "\\server\share\",
// "\\?\C:\", "\\?\UNC\server\share\"; 0 for a path without one.
std::size_t RootLength(const std::wstring& text);

}  // namespace quellmark
