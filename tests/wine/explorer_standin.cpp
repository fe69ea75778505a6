// Stands in for explorer.exe beside Harvix.exe in the window test: it writes
// the command line it was started with to explorer-args.txt in its folder.
#include <windows.h>

#include <string>

int main() {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, n);
    folder = folder.substr(0, folder.find_last_of(L'\\'));
    HANDLE f = CreateFileW((folder + L"\\explorer-args.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    const wchar_t* line = GetCommandLineW();
    DWORD written;
    WriteFile(f, line, static_cast<DWORD>(lstrlenW(line) * sizeof(wchar_t)), &written, nullptr);
    CloseHandle(f);
    return 0;
}
