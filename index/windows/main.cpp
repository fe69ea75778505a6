// HarvixIndex.exe: the index of a folder of reports, in Harvix's Form1, or
// silently with the status on standard output.
#include <windows.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "app/windows/form1.h"
#include "index/app.h"
#include "index/form1_handlers.h"
#include "platform/platform.h"
#include "platform/wide.h"

using namespace harvix;

namespace {

// The status where the caller can see it: a console, a pipe or a file.
void PrintStatus(const std::string& status) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) {
        if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
        out = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr);
        if (out == INVALID_HANDLE_VALUE) return;
    }
    const std::string text = status + "\r\n";
    DWORD mode, written;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring wide = platform::Wide(text);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    int count = 0;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) {
            std::wstring a = argv[i];
            // "C:\Rapports\" comes through as C:\Rapports" from the usual quoting rules.
            if (!a.empty() && a.back() == L'"') a.pop_back();
            args.push_back(platform::Utf8(a.c_str(), static_cast<int>(a.size())));
        }
        LocalFree(argv);
    }
    return args;
}

// A folder given relative to where the program was started.
std::string FullPath(const std::string& folder) {
    const std::wstring wide = platform::Wide(folder);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return folder;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return platform::Utf8(full.c_str(), static_cast<int>(full.size()));
}

// The command line into run, its folder made whole; false, with the reason on
// standard output, when the command line is wrong.
bool ReadCommandLine(index::Invocation& run) {
    std::string error;
    if (!index::ParseArguments(Arguments(), run, error)) {
        PrintStatus(error);
        return false;
    }
    try {
        run.Folder = run.Folder.empty() ? platform::ProgramFolder() : FullPath(run.Folder);
    } catch (const std::exception& e) {
        PrintStatus(e.what());
        return false;
    }
    return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    index::Invocation run;
    if (!ReadCommandLine(run)) return 2;
    HarvixForm1Hooks hooks = index::IndexHooks(run.Folder);
    if (!run.Silent) {
        const int status = HarvixShowForm1(&hooks, nullptr, nullptr);
        if (status != kHarvixNoDisplay) return status == 0 ? index::ExitStatus() : status;
    }
    // /silent, or no window station (a service session): the status goes out as text.
    char* text = nullptr;
    hooks.Timer1_Timer(&text);
    PrintStatus(text);
    FreeText(text);
    return index::ExitStatus();
}
