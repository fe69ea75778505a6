// Code-page encoding of the report, shared by the platforms.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace harvix::platform {

// Decodes UTF-8; an invalid byte yields U+FFFD and decoding goes on.
std::vector<char32_t> DecodeUtf8(const std::string& utf8);
std::string EncodeUtf8(char32_t cp);
// How the page writes a character it does not hold as such, so that a browser
// shows what was collected: "&#N;" in general; NUL as "&#xFFFD;" (what a browser
// makes of any NUL); C1 controls U+0080..U+009F as the visible text "[U+0085]",
// since browsers read "&#133;" as the windows-1252 letter of byte 133.
std::string CharacterReference(char32_t cp);
// Windows-1252, with CharacterReference for what the code page cannot hold.
std::string EncodeWindows1252(const std::string& utf8);
// Bytes that are not valid UTF-8 are taken as Latin-1, so nothing is lost.
std::string ToValidUtf8(const std::string& bytes);

}  // namespace harvix::platform

namespace harvix::platform {

// Windows-1252 bytes as UTF-8; the five unassigned bytes stand for the C1
// controls of the same value, as Windows maps them.
std::string DecodeWindows1252(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

}  // namespace harvix::platform
