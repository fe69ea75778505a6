#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "platform/encoding.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "platform/wide.h"

namespace harvix::platform {

std::string Utf8(const wchar_t* text, int length) {
    if (!text) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    if (length < 0 && !out.empty()) out.pop_back();  // the terminator
    return out;
}

std::wstring Wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

namespace {

std::string LocaleText(LCTYPE what, const char* fallback) {
    wchar_t buf[16];
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, what, buf, 16) > 1) return Utf8(buf);
    return fallback;
}

// The system's words, or the code when it has none.
std::string LastError(DWORD code) {
    std::string text = SystemMessage(code);
    return text.empty() ? "erreur " + std::to_string(code) : text;
}

std::string HexOf(unsigned long long v) {
    char out[17];
    for (int i = 15; i >= 0; --i, v >>= 4) out[i] = "0123456789abcdef"[v & 15];
    out[16] = '\0';
    return out;
}

}  // namespace

std::string SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    std::string text;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr) &&
        buffer) {
        text = Utf8(buffer);
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::wstring LongPathForm(const std::wstring& path) {
    if (path.size() < MAX_PATH || path.rfind(L"\\\\?\\", 0) == 0) return path;
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

std::wstring UsualPathForm(const std::wstring& path) {
    if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
    if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
    // A full path never starts with a bare "UNC\".
    if (path.rfind(L"UNC\\", 0) == 0) return L"\\\\" + path.substr(4);
    return path;
}

ReportOpenMode ReportOpenModeFor(bool append) {
    // OPEN_ALWAYS never checks the attributes of an existing file; CREATE_ALWAYS
    // and TRUNCATE_EXISTING fail on a hidden or system one unless given the same.
    if (append)
        return {FILE_APPEND_DATA, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, false};
    return {GENERIC_WRITE, FILE_SHARE_READ, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, true};
}

std::wstring ExplorerApplication() {
    // Only the tests put a stand-in in its place; the program's own folder is never searched.
    if (std::optional<std::string> standIn = GetEnv("HARVIX_TEST_EXPLORER"))
        if (!standIn->empty()) return Wide(*standIn);
    wchar_t windows[MAX_PATH];
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        throw HarvixError("Dossier de Windows introuvable : " + LastError(GetLastError()));
    std::wstring folder(windows, n);
    if (folder.back() != L'\\') folder += L'\\';
    return folder + L"explorer.exe";
}

std::string DecimalSeparator() {
    return LocaleText(LOCALE_SDECIMAL, ".");
}
std::string DateSeparator() {
    return LocaleText(LOCALE_SDATE, "/");
}

std::optional<std::string> GetEnv(const std::string& name) {
    std::wstring wname = Wide(name);
    DWORD n = GetEnvironmentVariableW(wname.c_str(), nullptr, 0);
    if (n == 0)
        return GetLastError() == ERROR_ENVVAR_NOT_FOUND ? std::nullopt
                                                        : std::optional<std::string>("");
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(wname.c_str(), value.data(), n);
    value.resize(n);
    return Utf8(value.c_str(), static_cast<int>(value.size()));
}

std::string FallbackComputerName() {
    wchar_t buf[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(buf, &n) ? Utf8(buf, static_cast<int>(n)) : std::string();
}

std::string FallbackUserName() {
    return GetEnv("USERNAME").value_or("");
}

std::string ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            throw HarvixError("Dossier du programme introuvable : " + LastError(GetLastError()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    path = UsualPathForm(path);
    std::size_t slash = path.find_last_of(L"\\/");
    path = path.substr(0, slash);
    if (path.size() == 2 && path[1] == L':') path += L'\\';  // a drive's root keeps its "\"
    return Utf8(path.c_str(), static_cast<int>(path.size()));
}

const char* PathSeparator() {
    return "\\";
}

std::string EncodeForReport(const std::string& utf8) {
    const UINT acp = GetACP();
    if (acp == 1252) return EncodeWindows1252(utf8);
    if (acp == CP_UTF8) return utf8;
    std::string out;
    for (char32_t cp : DecodeUtf8(utf8)) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
            continue;
        }
        std::wstring w;
        if (cp >= 0x10000) {
            w += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            w += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            w += static_cast<wchar_t>(cp);
        }
        char bytes[8];
        BOOL lossy = FALSE;
        int n = WideCharToMultiByte(acp, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()),
                                    bytes, sizeof bytes, nullptr, &lossy);
        if (n > 0 && !lossy)
            out.append(bytes, static_cast<std::size_t>(n));
        else
            out += CharacterReference(cp);
    }
    return out;
}

std::FILE* OpenReportFile(const std::string& path, bool append) {
    const ReportOpenMode mode = ReportOpenModeFor(append);
    const std::wstring wpath = LongPathForm(Wide(path));
    HANDLE h = CreateFileW(wpath.c_str(), mode.access, mode.share, nullptr, mode.disposition,
                           mode.attributes, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        std::string why = LastError(error);
        const DWORD attributes = GetFileAttributesW(wpath.c_str());
        if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
            (attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            why += " (le fichier est en lecture seule)";
        else if (error == ERROR_PATH_NOT_FOUND && wpath.size() >= MAX_PATH)
            why += " (chemin de plus de 260 caractères)";
        throw HarvixError("Impossible d'ouvrir le rapport " + path + " : " + why);
    }
    if (mode.truncate && !SetEndOfFile(h)) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        throw HarvixError("Impossible de vider le rapport " + path + " : " + LastError(error));
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), (append ? _O_APPEND : 0) | _O_BINARY);
    std::FILE* f = fd >= 0 ? _fdopen(fd, append ? "ab" : "wb") : nullptr;
    if (!f) {
        if (fd >= 0)
            _close(fd);
        else
            CloseHandle(h);
        throw HarvixError("Impossible d'ouvrir le rapport " + path);
    }
    return f;
}

std::shared_ptr<void> ClaimReport(const std::string& reportPath, int waitSeconds) {
    // One name per report file, whatever the letter case; Global\ so that a
    // scheduled task and a logged-on user's run see the same claim.
    std::wstring full = Wide(reportPath);
    std::wstring buffer(32768, L'\0');
    DWORD n =
        GetFullPathNameW(full.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (n > 0 && n < buffer.size()) full.assign(buffer.data(), n);
    if (!full.empty())
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.data(), static_cast<int>(full.size()),
                     full.data(), static_cast<int>(full.size()));
    unsigned long long hash = 14695981039346656037ull;  // FNV-1a over the UTF-16 units
    for (wchar_t c : full) {
        hash = (hash ^ static_cast<unsigned char>(c & 0xFF)) * 1099511628211ull;
        hash = (hash ^ static_cast<unsigned char>(c >> 8)) * 1099511628211ull;
    }
    const std::wstring name = L"Global\\Harvix-report-" + Wide(HexOf(hash));

    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(waitSeconds) * 1000ull;
    for (;;) {
        HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
        if (mutex) {
            const ULONGLONG now = GetTickCount64();
            DWORD wait =
                WaitForSingleObject(mutex, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
            // An abandoned claim (a run that crashed) is ours now.
            if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED)
                return std::shared_ptr<void>(mutex, [](HANDLE m) {
                    ReleaseMutex(m);
                    CloseHandle(m);
                });
            CloseHandle(mutex);
            if (wait != WAIT_TIMEOUT) return nullptr;  // no claim to be had: run unclaimed
        } else if (GetLastError() != ERROR_ACCESS_DENIED) {
            return nullptr;
        } else if (GetTickCount64() < deadline) {
            Sleep(100);  // held by another account's run, which we may not wait on directly
            continue;
        }
        throw HarvixError(ClaimWaitExpired(reportPath, waitSeconds));
    }
}

LocalDate Today() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wDay, st.wMonth, st.wYear};
}

void OpenFolder(const std::string& folderWithSeparator) {
    // The command line stays "explorer.exe /e, <folder>"; the application is named
    // in full, so that no explorer.exe beside the program is started instead.
    const std::wstring application = ExplorerApplication();
    std::wstring command = L"explorer.exe /e, " + Wide(folderWithSeparator);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &si, &pi))
        throw HarvixError("Impossible de lancer l'explorateur : " + LastError(GetLastError()));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace harvix::platform
