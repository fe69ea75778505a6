#include "app/windows/failure.h"

#include "platform/platform.h"
#include "platform/wide.h"

namespace harvix {

namespace {

// A person can answer a message box only on a window station with a visible
// display outside session 0: a scheduled task run "whether the user is logged
// on or not" or a service has neither, and a box there would wait for ever.
bool InteractiveSession() {
    DWORD session = 0;
    if (ProcessIdToSessionId(GetCurrentProcessId(), &session) && session == 0) return false;
    USEROBJECTFLAGS flags{};
    HWINSTA station = GetProcessWindowStation();
    if (station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
        return (flags.dwFlags & WSF_VISIBLE) != 0;
    return true;
}

// Where a script can read it: standard error when one is attached, and the
// Application event log.
void RecordFailure(const std::wstring& program, const std::wstring& description) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) {
        const std::wstring line = program + L" : " + description + L"\r\n";
        DWORD written = 0;
        if (GetFileType(err) == FILE_TYPE_CHAR &&
            WriteConsoleW(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        } else {
            const std::string bytes = platform::Utf8(line.c_str(), static_cast<int>(line.size()));
            WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
    if (HANDLE log = RegisterEventSourceW(nullptr, program.c_str())) {
        const wchar_t* strings[] = {description.c_str()};
        ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(log);
    }
}

}  // namespace

void Fail(const std::wstring& program, const std::wstring& description, HWND owner) {
    RecordFailure(program, description);
    if (InteractiveSession()) {
        UINT style = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
        // System-modal adds nothing to an ownerless box but WS_EX_TOPMOST, which
        // some hosts give only that way.
        if (!owner) style |= MB_TOPMOST | MB_SYSTEMMODAL;
        MessageBoxW(owner, description.c_str(), program.c_str(), style);
    }
    ExitProcess(1);
}

}  // namespace harvix
