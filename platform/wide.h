// Windows-only helpers: UTF-8 <-> UTF-16 for the Windows API, the system's
// words for an error code, and the path forms the file API is given.
#pragma once

#include <string>

namespace harvix::platform {

// length -1: up to the terminator, which is not kept.
std::string Utf8(const wchar_t* text, int length = -1);
std::wstring Wide(const std::string& utf8);

// The system's text for a Win32 error or an HRESULT, trailing line break
// removed; empty when the system has none.
std::string SystemMessage(unsigned long code);

// A full path as CreateFileW takes it at any length: paths of MAX_PATH and
// beyond get the \\?\ (or \\?\UNC\) prefix, shorter ones stay as they are.
std::wstring LongPathForm(const std::wstring& path);

// The usual form of a path Windows handed over, for building and showing:
// \\?\UNC\server\share -> \\server\share, \\?\C:\x -> C:\x; Wine's
// module path on a share, UNC\server\share, also gets its two backslashes.
std::wstring UsualPathForm(const std::wstring& path);

// How the report is opened: the header's open must also succeed on a hidden or
// system file left by an earlier run, which CREATE_ALWAYS refuses.
struct ReportOpenMode {
    unsigned long access, share, disposition, attributes;
    bool truncate;  // emptied after opening
};
ReportOpenMode ReportOpenModeFor(bool append);

// The explorer that Label1_DblClick starts: the Windows folder's own.
std::wstring ExplorerApplication();

}  // namespace harvix::platform
