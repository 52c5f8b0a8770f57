// Texts across the Win32 boundary: the program's UTF-8 to the wide (UTF-16) strings of the W
// functions and back, and the system's error messages as UTF-8. Pure functions: any thread.
#pragma once

#include <windows.h>

#include <string>

namespace dd::win32 {

// UTF-8 to UTF-16. Bytes that are not UTF-8 become U+FFFD rather than failing the call.
std::wstring widen(const std::string& text);

// UTF-16 to UTF-8. A lone surrogate becomes U+FFFD.
std::string narrow(const std::wstring& text);

// The system's description of an error code, as UTF-8 without the trailing line break;
// "error <code>" when the system has none.
std::string systemErrorText(DWORD code);

} // namespace dd::win32
