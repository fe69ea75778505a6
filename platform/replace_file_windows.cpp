// The atomic file replacement and the clock, on Windows.
#include <windows.h>

#include <algorithm>

#include "platform/error.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "platform/wide.h"

namespace harvix::platform {

namespace {

[[noreturn]] void Fail(const std::string& path, DWORD code) {
    std::string why = SystemMessage(code);
    if (why.empty()) why = "erreur " + std::to_string(code);
    throw HarvixError("Impossible d'écrire le fichier " + path + " : " + why);
}

bool WriteAll(HANDLE h, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

}  // namespace

LocalDateTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

void ReplaceFileWith(const std::string& path, const std::string& bytes) {
    // Beside the target, so that the move stays on one volume.
    const std::wstring target = LongPathForm(Wide(path));
    const std::wstring temp =
        LongPathForm(Wide(TemporaryBeside(path, GetCurrentProcessId())));
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) Fail(path, GetLastError());
    bool written = WriteAll(h, bytes) && FlushFileBuffers(h);
    DWORD code = GetLastError();
    CloseHandle(h);
    if (written && MoveFileExW(temp.c_str(), target.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return;
    if (written) code = GetLastError();
    DeleteFileW(temp.c_str());
    Fail(path, code);
}

}  // namespace harvix::platform
