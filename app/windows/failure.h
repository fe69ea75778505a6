// A failure that reaches a handler of Form1, where a script and a person can see it.
#pragma once

#include <windows.h>

#include <string>

namespace harvix {

// Says the failure on standard error and in the Application event log under
// the program's name, shows it in a message box where someone can answer one,
// then ends the process with a failure status. Without an owner the box comes
// to the front on its own.
[[noreturn]] void Fail(const std::wstring& program, const std::wstring& description, HWND owner);

}  // namespace harvix
