// Drives Harvix's window from outside, through the Win32 API, as a user would:
//   form1_probe window   reads Form1 before and after the run, double-clicks the
//                        status line, clicks "Fermer"
//   form1_probe msgbox   reads the failure message box and presses OK
//   form1_probe window CLASS CAPTION   the same for another window of that make
//   form1_probe nodesktop <command line>
//                        runs the command on a window station of its own without
//                        a visible display, as a scheduled task or a service runs,
//                        and says how it ended
//   form1_probe with NAME=VALUE... -- <command line>
//                        runs the command with these variables set (Wine sets
//                        COMPUTERNAME and USERNAME itself) and ends with its status
// Prints what it sees as "key: value" lines in UTF-8.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

const wchar_t* const kCaption = L"Tarvell - Inventaire de l'ordinateur";

std::string Utf8(const std::wstring& w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

// The window's own copy of its text, read without sending it a message: a
// window busy with its run must not hold the probe, nor answer late with a newer text.
std::wstring Text(HWND h) {
    wchar_t buf[2048] = {};
    InternalGetWindowText(h, buf, 2048);
    return buf;
}

// One line per value: line breaks and backslashes are escaped.
void Say(const char* key, const std::string& value) {
    std::string escaped;
    for (char c : value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\r')
            escaped += "\\r";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    std::printf("%s: %s\n", key, escaped.c_str());
    std::fflush(stdout);
}

// Waits while answering whatever other programs send to this thread: a program
// that sends to every window (an IME notice, a broadcast) must never wait on the probe.
void Pause(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        const LONG left = static_cast<LONG>(end - GetTickCount());
        if (left <= 0) return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

HWND WaitFor(const wchar_t* cls, const wchar_t* caption, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
        if (HWND h = FindWindowW(cls, caption)) return h;
        Pause(50);
    }
    return nullptr;
}

// Another program's window of the same make: its class and caption.
std::wstring gClass = L"Harvix.Form1", gCaption = kCaption;

// Polls until the state holds or the deadline (a GetTickCount value) passes.
template <class State>
bool Until(DWORD deadline, State state) {
    for (;;) {
        if (state()) return true;
        if (static_cast<LONG>(deadline - GetTickCount()) <= 0) return false;
        Pause(50);
    }
}

struct Form1 {
    HWND form = nullptr, label = nullptr, close = nullptr;
};

void SayState(const Form1& f, const char* label, const char* close) {
    Say(label, Utf8(Text(f.label)));
    Say(close, f.close && IsWindowEnabled(f.close) ? "enabled" : "disabled");
}

void SayLook(const Form1& f) {
    Say("visible", IsWindowVisible(f.form) ? "yes" : "no");
    RECT client{};
    GetClientRect(f.form, &client);
    Say("client", std::to_string(client.right) + "x" + std::to_string(client.bottom));
    LONG style = GetWindowLongW(f.form, GWL_STYLE);
    Say("minimize-box", style & WS_MINIMIZEBOX ? "yes" : "no");
    Say("maximize-box", style & WS_MAXIMIZEBOX ? "yes" : "no");
}

// Form1 is read only in the states a person sees: shown (which it is only once
// laid out at the screen's scale) with its first status, then with its final
// status and "Fermer" enabled. Each wait has its deadline; past it the probe
// says what it saw and ends without pressing anything.
int Window() {
    Say("ready", "waiting for Form1");
    const DWORD start = GetTickCount();
    Form1 f;
    f.form = WaitFor(gClass.c_str(), gCaption.c_str(), 120);
    if (!f.form) return Say("error", "no window"), 2;
    const bool shown = Until(start + 180000, [&] {
        f.label = GetDlgItem(f.form, 1001), f.close = GetDlgItem(f.form, 1002);
        return IsWindowVisible(f.form) && f.label && f.close && !Text(f.label).empty();
    });
    SayState(f, "label-before", "close-before");
    SayLook(f);
    if (!shown) return Say("error", "Form1 not shown with its status within 180 s"), 2;
    const std::wstring before = Text(f.label);
    const bool done =
        Until(start + 480000, [&] { return IsWindowEnabled(f.close) && Text(f.label) != before; });
    SayState(f, "label-after", "close-after");
    if (!done) return Say("error", "no final status with Fermer enabled within 480 s"), 2;
    Pause(1500);  // time for a screenshot of the finished window

    PostMessageW(f.label, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(f.label, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    PostMessageW(f.label, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(f.label, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    Pause(1500);
    PostMessageW(f.close, BM_CLICK, 0, 0);  // never waits on a window that does not answer
    Say("clicked", "Fermer");
    return 0;
}

int MessageBoxProbe() {
    HWND box = WaitFor(L"#32770", L"Harvix", 60);
    if (!box) return Say("error", "no message box"), 2;
    // A box found as soon as it exists may not hold its text yet.
    Until(GetTickCount() + 10000, [&] { return !Text(GetDlgItem(box, 0xFFFF)).empty(); });
    Say("message", Utf8(Text(GetDlgItem(box, 0xFFFF))));
    Say("owner", GetWindow(box, GW_OWNER) ? "yes" : "none");
    Say("topmost", GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST ? "yes" : "no");
    Pause(1500);  // time for a screenshot
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
}

int NoDesktop(const wchar_t* command) {
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = CreateWindowStationW(L"HarvixNoDisplay", 0, WINSTA_ALL_ACCESS, nullptr);
    if (!station) return Say("error", "CreateWindowStation " + std::to_string(GetLastError())), 2;
    USEROBJECTFLAGS flags{};
    GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr);
    Say("station-visible", flags.dwFlags & WSF_VISIBLE ? "yes" : "no");
    // Its desktop is made from inside it, as the system does for a service's station.
    SetProcessWindowStation(station);
    HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    SetProcessWindowStation(own);
    if (!desktop) return Say("error", "CreateDesktop " + std::to_string(GetLastError())), 2;

    STARTUPINFOW si{};
    si.cb = sizeof si;
    wchar_t where[] = L"HarvixNoDisplay\\Default";
    si.lpDesktop = where;
    PROCESS_INFORMATION pi{};
    std::wstring line = command;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return Say("error", "CreateProcess " + std::to_string(GetLastError())), 2;
    const DWORD start = GetTickCount();
    DWORD wait = WaitForSingleObject(pi.hProcess, 60000);
    Say("waited-ms", std::to_string(GetTickCount() - start));
    if (wait != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        Say("status", "hung");
        return 1;
    }
    DWORD status = 0;
    GetExitCodeProcess(pi.hProcess, &status);
    Say("status", std::to_string(status));
    return 0;
}

int With(const wchar_t* rest) {
    // NAME=VALUE words up to "--", then the command line as it stands.
    const wchar_t* p = rest;
    for (;;) {
        while (*p == L' ') ++p;
        std::wstring word;
        if (*p == L'"') {  // a word with blanks, quoted on the command line
            const wchar_t* end = wcschr(p + 1, L'"');
            if (!end) return Say("error", "unbalanced quote"), 2;
            word.assign(p + 1, end);
            p = end + 1;
        } else {
            const wchar_t* end = wcschr(p, L' ');
            word.assign(p, end ? end : p + wcslen(p));
            p += word.size();
        }
        if (word == L"--" || word.empty()) break;
        std::size_t eq = word.find(L'=');
        if (eq == std::wstring::npos) return Say("error", "expected NAME=VALUE"), 2;
        SetEnvironmentVariableW(word.substr(0, eq).c_str(), word.substr(eq + 1).c_str());
    }
    while (*p == L' ') ++p;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::wstring line = p;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return Say("error", "CreateProcess " + std::to_string(GetLastError())), 2;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(pi.hProcess, &status);
    return static_cast<int>(status);
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // "\n" stays "\n" for the reader
    std::string what = argc > 1 ? argv[1] : "";
    if (argc > 3) {
        wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &argc);
        gClass = wide[2], gCaption = wide[3];
    }
    if (what == "window") return Window();
    if (what == "msgbox") return MessageBoxProbe();
    if (what == "with") {
        const wchar_t* p = wcsstr(GetCommandLineW(), L" with ");
        return p ? With(p + 6) : 2;
    }
    if (what == "nodesktop") {
        // The rest of the probe's own command line, as given.
        const wchar_t* p = wcsstr(GetCommandLineW(), L" nodesktop ");
        return p ? NoDesktop(p + 11) : 2;
    }
    std::fprintf(
        stderr,
        "usage: form1_probe window|msgbox|nodesktop <command>|with NAME=VALUE... -- <command>\n");
    return 2;
}
