// Form1 in the Win32 API: the program's one window, its start-up and handlers.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/run.h"
#include "app/windows/resource.h"
#include "platform/platform.h"
#include "platform/wide.h"
#include "wmi/modWMI.h"

using namespace harvix;

namespace {

// Design values at 96 dpi: client area and controls as left, top, width, height.
constexpr int kClientWidth = 540, kClientHeight = 216;
constexpr RECT kImage1{144, 8, 241, 112}, kLabel1{8, 136, 521, 41}, kCmdClose{440, 184, 89, 25};

struct Form1State {
    HWND window = nullptr, Image1 = nullptr, Label1 = nullptr, cmdClose = nullptr;
    HFONT labelFont = nullptr, buttonFont = nullptr;
    HBITMAP logo = nullptr;
    UINT dpi = 96;
    bool SilentMode = false;
} Form1;

const UINT_PTR kTimer1 = 1;

std::wstring W(const std::string& s) {
    return platform::Wide(s);
}

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
void RecordFailure(const std::wstring& description) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) {
        const std::wstring line = L"Harvix : " + description + L"\r\n";
        DWORD written = 0;
        if (GetFileType(err) == FILE_TYPE_CHAR &&
            WriteConsoleW(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        } else {
            const std::string bytes = platform::Utf8(line.c_str(), static_cast<int>(line.size()));
            WriteFile(err, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        }
    }
    if (HANDLE log = RegisterEventSourceW(nullptr, L"Harvix")) {
        const wchar_t* strings[] = {description.c_str()};
        ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(log);
    }
}

// A failure that reaches a handler: its description in a message box, then the
// end with a failure status. In silent mode the box has no (hidden) owner and
// comes to the front; where nobody can answer it, it is not shown at all.
[[noreturn]] void Fail(const std::exception& e) {
    const std::wstring description = W(e.what());
    RecordFailure(description);
    if (InteractiveSession()) {
        HWND owner = Form1.SilentMode ? nullptr : Form1.window;
        UINT style = MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
        // System-modal adds nothing to an ownerless box but WS_EX_TOPMOST, which
        // some hosts give only that way.
        if (Form1.SilentMode || !owner) style |= MB_TOPMOST | MB_SYSTEMMODAL;
        MessageBoxW(owner, description.c_str(), L"Harvix", style);
    }
    ExitProcess(1);
}

// APIs newer than Windows 7 are looked up, never imported.
UINT DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow && hwnd) {
        if (UINT dpi = getDpiForWindow(hwnd)) return dpi;
    }
    HDC dc = GetDC(nullptr);
    UINT dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
    ReleaseDC(nullptr, dc);
    return dpi ? dpi : 96;
}

void AdjustForDpi(RECT* r, DWORD style, DWORD exStyle, UINT dpi) {
    using AdjustFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = reinterpret_cast<AdjustFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (adjust)
        adjust(r, style, FALSE, exStyle, dpi);
    else
        AdjustWindowRectEx(r, style, FALSE, exStyle);
}

int Scale(int px) {
    return MulDiv(px, static_cast<int>(Form1.dpi), 96);
}

void Place(HWND control, const RECT& r) {
    SetWindowPos(control, nullptr, Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

// Fonts, logo and control positions for the window's current DPI.
void Layout() {
    if (Form1.labelFont) DeleteObject(Form1.labelFont);
    if (Form1.buttonFont) DeleteObject(Form1.buttonFont);
    const int dpi = static_cast<int>(Form1.dpi);
    Form1.labelFont = CreateFontW(-MulDiv(9, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                  DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                  CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    Form1.buttonFont = CreateFontW(-MulDiv(825, dpi, 7200), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    SendMessageW(Form1.Label1, WM_SETFONT, reinterpret_cast<WPARAM>(Form1.labelFont), TRUE);
    SendMessageW(Form1.cmdClose, WM_SETFONT, reinterpret_cast<WPARAM>(Form1.buttonFont), TRUE);

    HBITMAP logo =
        static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_LOGO),
                                        IMAGE_BITMAP, Scale(241), Scale(112), LR_DEFAULTCOLOR));
    HGDIOBJ old = reinterpret_cast<HGDIOBJ>(
        SendMessageW(Form1.Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(logo)));
    if (old && old != logo) DeleteObject(old);
    if (Form1.logo && Form1.logo != old) DeleteObject(Form1.logo);
    Form1.logo = logo;

    Place(Form1.Image1, kImage1);
    Place(Form1.Label1, kLabel1);
    Place(Form1.cmdClose, kCmdClose);
}

void Timer1_Timer() {
    if (Form1.window) KillTimer(Form1.window, kTimer1);  // one run per process
    try {
        std::string status = RunInventory(platform::ProgramFolder(), platform::PathSeparator());
        if (Form1.window) {
            EnableWindow(Form1.cmdClose, TRUE);
            SetWindowTextW(Form1.Label1, W(status).c_str());
        }
        if (Form1.SilentMode) ExitProcess(0);
    } catch (const std::exception& e) {
        Fail(e);
    }
}

void cmdClose_Click() {
    DestroyWindow(Form1.window);
}

void Label1_DblClick() {
    try {
        platform::OpenFolder(platform::ProgramFolder() + platform::PathSeparator());
    } catch (const std::exception& e) {
        Fail(e);
    }
}

LRESULT CALLBACK Form1Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            if (wParam == kTimer1) Timer1_Timer();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CMDCLOSE && HIWORD(wParam) == BN_CLICKED) cmdClose_Click();
            if (LOWORD(wParam) == IDC_LABEL1 && HIWORD(wParam) == STN_DBLCLK) Label1_DblClick();
            return 0;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_DPICHANGED: {
            Form1.dpi = HIWORD(wParam);
            const RECT* r = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(hwnd, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            Layout();
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// The text after the program's own name, as the command line holds it.
std::wstring ArgumentString() {
    const wchar_t* p = GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return p;
}

void Form_Load() {
    try {
        WmiService = ConnectWMI("localhost");
    } catch (const std::exception& e) {
        Fail(e);
    }
    // No trimming, no splitting: the whole string must be "/silent".
    Form1.SilentMode = IsSilentArgument(platform::Utf8(ArgumentString().c_str()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // An empty card reader must never stop an unattended run with "insert a disk".
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    Form_Load();

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Form1Proc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_HARVIX), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_HARVIX), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"Harvix.Form1";
    RegisterClassExW(&wc);

    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // no minimise, no maximise
    Form1.window = CreateWindowExW(0, wc.lpszClassName, W(kCaption).c_str(), style, CW_USEDEFAULT,
                                   CW_USEDEFAULT, kClientWidth, kClientHeight, nullptr, nullptr,
                                   instance, nullptr);
    if (!Form1.window) {
        // No window station to speak of (a service session, Wine without a display):
        // a silent run needs none, so it goes on without one.
        if (!Form1.SilentMode) Fail(HarvixError("Impossible de créer la fenêtre du programme."));
        Sleep(300);
        Timer1_Timer();
        return 0;
    }
    Form1.Image1 =
        CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, 0, 0, 0, 0,
                        Form1.window, reinterpret_cast<HMENU>(IDC_IMAGE1), instance, nullptr);
    Form1.Label1 = CreateWindowExW(
        0, L"STATIC", W(kInitialStatus).c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOTIFY, 0,
        0, 0, 0, Form1.window, reinterpret_cast<HMENU>(IDC_LABEL1), instance, nullptr);
    Form1.cmdClose =
        CreateWindowExW(0, L"BUTTON", W(kCloseCaption).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 0, 0, 0,
                        0, Form1.window, reinterpret_cast<HMENU>(IDC_CMDCLOSE), instance, nullptr);

    // Client area of 540 x 216 at 96 dpi, scaled to the monitor, centred on its work area.
    Form1.dpi = DpiOf(Form1.window);
    RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustForDpi(&frame, style, 0, Form1.dpi);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(Form1.window, MONITOR_DEFAULTTOPRIMARY), &mi);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(Form1.window, nullptr,
                 mi.rcWork.left + (mi.rcWork.right - mi.rcWork.left - width) / 2,
                 mi.rcWork.top + (mi.rcWork.bottom - mi.rcWork.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();

    if (!Form1.SilentMode) {
        ShowWindow(Form1.window, SW_SHOWNORMAL);
        UpdateWindow(Form1.window);
    }
    SetTimer(Form1.window, kTimer1, 300, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(Form1.window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}
