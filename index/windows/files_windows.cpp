#include <windows.h>

#include <algorithm>
#include <atomic>

#include "index/files.h"
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

std::atomic<unsigned> gTempCounter{0};

HANDLE AsHandle(std::intptr_t h) {
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
        if (name != "." && name != "..") out.push_back({name});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(out.begin(), out.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.Name < b.Name; });
    return out;
}

ReadOutcome ReadCapped(const std::string& path, std::size_t cap) {
    ReadOutcome r;
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
    if (GetFileType(h) != FILE_TYPE_DISK) {
        r.Reason = "pas un fichier ordinaire";
    } else if (!GetFileSizeEx(h, &size)) {
        r.Reason = Reason(GetLastError());
    } else if (static_cast<unsigned long long>(size.QuadPart) > cap) {
        r.Reason = "fichier trop volumineux (" + std::to_string(size.QuadPart) + " octets)";
    } else {
        r.Bytes.resize(static_cast<std::size_t>(size.QuadPart) + 1);
        std::size_t got = 0;
        for (;;) {
            if (got == r.Bytes.size()) r.Bytes.resize(std::min(cap + 1, got + 65536));
            DWORD n = 0;
            if (!ReadFile(h, r.Bytes.data() + got, static_cast<DWORD>(r.Bytes.size() - got), &n,
                          nullptr)) {
                r.Reason = Reason(GetLastError());
                break;
            }
            if (n == 0) break;
            got += n;
            if (got > cap) {
                r.Reason = "fichier trop volumineux";
                break;
            }
        }
        r.Bytes.resize(got);
        r.Ok = r.Reason.empty();
    }
    CloseHandle(h);
    if (!r.Ok) r.Bytes.clear();
    return r;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder + name;
    return folder + "\\" + name;
}

LocalTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}

OutputFile::OutputFile(const std::string& folder, const std::string& name)
    : folder_(folder), name_(name) {
    temp_ = JoinPath(folder, "." + name + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(gTempCounter++));
    HANDLE h = CreateFileW(Wide(temp_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error_ = "impossible de créer un fichier dans " + folder + " : " + Reason(GetLastError());
        handle_ = -1;
    } else {
        handle_ = reinterpret_cast<std::intptr_t>(h);
    }
}

OutputFile::~OutputFile() {
    if (handle_ != -1) CloseHandle(AsHandle(handle_));
    if (!committed_ && error_.empty()) DeleteFileW(Wide(temp_).c_str());
}

void OutputFile::Flush() {
    std::size_t done = 0;
    while (error_.empty() && done < buffer_.size()) {
        DWORD n = 0;
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buffer_.size() - done, 1u << 30));
        if (!WriteFile(AsHandle(handle_), buffer_.data() + done, chunk, &n, nullptr))
            error_ = "écriture impossible : " + Reason(GetLastError());
        done += n;
    }
    buffer_.clear();
}

OutputFile::Result OutputFile::Commit() {
    Result r;
    if (error_.empty()) Flush();
    const bool opened = handle_ != -1;
    if (opened) {
        if (error_.empty() && !FlushFileBuffers(AsHandle(handle_)))
            error_ = "écriture impossible : " + Reason(GetLastError());
        CloseHandle(AsHandle(handle_));
        handle_ = -1;
    }
    committed_ = true;
    const std::wstring temp = Wide(temp_);
    if (!error_.empty()) {
        if (opened) DeleteFileW(temp.c_str());
        r.Error = error_;
        return r;
    }
    const std::string target = JoinPath(folder_, name_);
    if (MoveFileExW(temp.c_str(), Wide(target).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        r.Replaced = true;
        return r;
    }
    // Excel holds an open workbook locked: keep the new one beside it.
    r.Error = "impossible de remplacer " + name_ + " : " + Reason(GetLastError());
    const std::string dated = DatedName(name_, Now());
    if (MoveFileExW(temp.c_str(), Wide(JoinPath(folder_, dated)).c_str(), MOVEFILE_WRITE_THROUGH))
        r.KeptAs = dated;
    else
        DeleteFileW(temp.c_str());
    return r;
}

}  // namespace harvix::index
