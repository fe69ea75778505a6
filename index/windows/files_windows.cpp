// The index's file seam on Windows: the Win32 calls and their errors in French.
#include <windows.h>

#include <algorithm>

#include "index/files.h"
#include "index/files_os.h"
#include "platform/wide.h"
#include "wmi/modWMI.h"

namespace harvix::index {

namespace {

using platform::Utf8;
using platform::Wide;

std::string Reason(DWORD err) {
    switch (err) {
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return "fichier verrouillé par un autre programme";
        case ERROR_ACCESS_DENIED:
            return "accès refusé";
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return "fichier introuvable";
        default: {
            std::string text = platform::SystemMessage(err);
            return "illisible (" + (text.empty() ? "erreur " + std::to_string(err) : text) + ")";
        }
    }
}

HANDLE AsHandle(os::Handle h) {
    return reinterpret_cast<HANDLE>(h);
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileExW(Wide(JoinPath(folder, "*")).c_str(), FindExInfoBasic, &data,
                                   FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        throw HarvixError("Impossible de lire le dossier " + folder + " : " +
                          Reason(GetLastError()));
    std::vector<FolderEntry> out;
    do {
        std::string name = Utf8(data.cFileName);
        if (name != "." && name != "..") out.push_back({name, {}});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
    return out;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
    return folder + "\\" + name;
}

namespace os {

Opened OpenToRead(const std::string& path) {
    Opened r;
    const std::wstring wide = Wide(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        r.Reason = "c'est un dossier";
        return r;
    }
    // Shared every way: a report being written, or the index open elsewhere, is still read.
    HANDLE h = CreateFileW(wide.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        r.Reason = Reason(GetLastError());
        return r;
    }
    LARGE_INTEGER size{};
    if (GetFileType(h) != FILE_TYPE_DISK)
        r.Reason = "pas un fichier ordinaire";
    else if (!GetFileSizeEx(h, &size))
        r.Reason = Reason(GetLastError());
    if (!r.Reason.empty()) {
        CloseHandle(h);
        return r;
    }
    r.File = reinterpret_cast<Handle>(h);
    r.Size = static_cast<std::uint64_t>(size.QuadPart);
    return r;
}

long long ReadSome(Handle h, char* into, std::size_t n, std::string& reason) {
    DWORD got = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    if (ReadFile(AsHandle(h), into, chunk, &got, nullptr)) return got;
    reason = Reason(GetLastError());
    return -1;
}

long long WriteSome(Handle h, const char* from, std::size_t n, std::string& reason) {
    DWORD done = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    if (WriteFile(AsHandle(h), from, chunk, &done, nullptr)) return done;
    reason = Reason(GetLastError());
    return -1;
}

void Close(Handle h) {
    CloseHandle(AsHandle(h));
}

Handle CreateNew(const std::string& path, std::string& reason) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) return reinterpret_cast<Handle>(h);
    reason = Reason(GetLastError());
    return kNoHandle;
}

std::string FinishWrite(Handle h, bool sync) {
    std::string failed;
    if (sync && !FlushFileBuffers(AsHandle(h))) failed = Reason(GetLastError());
    CloseHandle(AsHandle(h));
    return failed;
}

bool Replace(const std::string& from, const std::string& to, std::string& reason) {
    if (MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    reason = Reason(GetLastError());
    return false;
}

bool MoveTo(const std::string& from, const std::string& to) {
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH);
}

void Remove(const std::string& path) {
    DeleteFileW(Wide(path).c_str());
}

unsigned long ProcessId() {
    return GetCurrentProcessId();
}

Handle OpenLockFile(const std::string& path, std::string& reason) {
    HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        reason = Reason(GetLastError());
        return kNoHandle;
    }
    return reinterpret_cast<Handle>(h);
}

bool TryLock(Handle h, bool& busy, std::string& reason) {
    OVERLAPPED at{};
    if (LockFileEx(AsHandle(h), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at))
        return true;
    const DWORD err = GetLastError();
    busy = err == ERROR_LOCK_VIOLATION;
    if (!busy) reason = Reason(err);
    return false;
}

}  // namespace os

}  // namespace harvix::index
