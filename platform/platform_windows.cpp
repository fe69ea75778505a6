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

// The system's own words for the last error.
std::string LastError(DWORD code) {
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
    return text.empty() ? "erreur " + std::to_string(code) : text;
}

}  // namespace

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
    HANDLE h =
        CreateFileW(Wide(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw HarvixError("Impossible d'ouvrir le rapport " + path + " : " +
                          LastError(GetLastError()));
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

LocalDate Today() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wDay, st.wMonth, st.wYear};
}

void OpenFolder(const std::string& folderWithSeparator) {
    std::wstring command = L"explorer.exe /e, " + Wide(folderWithSeparator);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        throw HarvixError("Impossible de lancer l'explorateur : " + LastError(GetLastError()));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

}  // namespace harvix::platform
