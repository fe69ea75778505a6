// Registry reads for Harvix's own classes: values kept as the registry gives them.
#include <cstdio>

#include "platform/wide.h"
#include "wmi/windows/native.h"

namespace harvix::native {

Instance UnreadNote(const std::string& what, const std::string& why) {
    Instance note;
    note.Set("What", WmiValue(what));
    note.Set("Why", WmiValue(why));
    return note;
}

std::optional<RegistryValue> QueryValue(HKEY key, const wchar_t* name) {
    if (!key) return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    // The value may grow between the two calls: ask again with what it says then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        RegistryValue value;
        value.Bytes.resize(size);
        DWORD got = size;
        LONG rc = RegQueryValueExW(key, name, nullptr, &type,
                                   reinterpret_cast<BYTE*>(value.Bytes.data()), &got);
        if (rc == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (rc != ERROR_SUCCESS) return std::nullopt;
        value.Bytes.resize(got);
        value.Type = type;
        return value;
    }
    return std::nullopt;
}

std::optional<std::string> QueryText(HKEY key, const wchar_t* name) {
    auto value = QueryValue(key, name);
    if (!value) return std::nullopt;
    return RegistryText(*value);
}

std::optional<std::uint32_t> QueryDword(HKEY key, const wchar_t* name) {
    auto value = QueryValue(key, name);
    if (!value) return std::nullopt;
    return RegistryDword(*value);
}

HKEY OpenKey(HKEY parent, const std::wstring& path, REGSAM extra, LONG* status) {
    HKEY key = nullptr;
    const LONG rc = RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ | extra, &key);
    if (status) *status = rc;
    return rc == ERROR_SUCCESS ? key : nullptr;
}

std::vector<std::wstring> SubkeyNames(HKEY key, LONG* status) {
    std::vector<std::wstring> names;
    if (status) *status = ERROR_SUCCESS;
    if (!key) return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];  // a key name is at most 255 characters
        DWORD length = 256;
        LONG rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS) names.emplace_back(name, length);
        if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) {
            if (status) *status = rc;
            break;
        }
    }
    return names;
}

std::string RegistryFailure(LONG status) {
    if (status == ERROR_ACCESS_DENIED) return "accès refusé";
    char code[16];
    std::snprintf(code, sizeof code, "%ld", static_cast<long>(status));
    const std::string text = platform::SystemMessage(static_cast<unsigned long>(status));
    return std::string("erreur ") + code + (text.empty() ? "" : " : " + text);
}

void* SystemFunction(const wchar_t* dll, const char* name) {
    // Only the system folder's copy: never a DLL left beside the program.
    wchar_t folder[MAX_PATH];
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::wstring path = std::wstring(folder, n) + L"\\" + dll;
    HMODULE module = GetModuleHandleW(path.c_str());
    if (!module) module = LoadLibraryW(path.c_str());  // kept for the whole run
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

}  // namespace harvix::native
