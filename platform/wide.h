// UTF-8 <-> UTF-16 for the Windows API (Windows only).
#pragma once

#include <string>

namespace harvix::platform {

// length -1: up to the terminator, which is not kept.
std::string Utf8(const wchar_t* text, int length = -1);
std::wstring Wide(const std::string& utf8);

}  // namespace harvix::platform
