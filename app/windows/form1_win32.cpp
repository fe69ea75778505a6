// Form1 in the Win32 API: the window, its layout at the screen's DPI, and its
// handlers, which call the program's hooks.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "app/windows/failure.h"
#include "app/windows/form1.h"
#include "app/windows/resource.h"
#include "platform/wide.h"

using namespace harvix;

namespace {

// Design values at 96 dpi: client area and controls as left, top, width, height.
constexpr int kClientWidth = 540, kClientHeight = 216;
constexpr RECT kImage1{144, 8, 241, 112}, kLabel1{8, 136, 521, 41}, kCmdClose{440, 184, 89, 25};
const DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // no minimise, no maximise

struct Form1State {
    const HarvixForm1Hooks* hooks = nullptr;
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

// In silent mode the box has no (hidden) owner and comes to the front.
[[noreturn]] void Fail(const std::string& description) {
    harvix::Fail(W(Form1.hooks->Name), W(description), Form1.SilentMode ? nullptr : Form1.window);
}

// A hook's text, freed as the hooks want; the failure's description when it failed.
std::string Call(int (*hook)(char**)) {
    char* text = nullptr;
    const int failed = hook(&text);
    const std::string copy = text ? text : "";
    Form1.hooks->FreeText(text);
    if (failed) Fail(copy);
    return copy;
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

HFONT Tahoma(int height) {
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

// Fonts, logo and control positions for the window's current DPI.
void Layout() {
    if (Form1.labelFont) DeleteObject(Form1.labelFont);
    if (Form1.buttonFont) DeleteObject(Form1.buttonFont);
    const int dpi = static_cast<int>(Form1.dpi);
    Form1.labelFont = Tahoma(-MulDiv(9, dpi, 72));
    Form1.buttonFont = Tahoma(-MulDiv(825, dpi, 7200));
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
    const std::string status = Call(Form1.hooks->Timer1_Timer);
    // The final status before "Fermer": whoever sees it enabled reads the run's outcome.
    if (Form1.window) {
        SetWindowTextW(Form1.Label1, W(status).c_str());
        EnableWindow(Form1.cmdClose, TRUE);
    }
    if (Form1.SilentMode) ExitProcess(0);
}

void cmdClose_Click() {
    DestroyWindow(Form1.window);
}

void Label1_DblClick() {
    Call(Form1.hooks->Label1_DblClick);
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

void RegisterForm1(HINSTANCE instance, const std::wstring& className) {
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
    wc.lpszClassName = className.c_str();
    RegisterClassExW(&wc);
}

HWND Control(const wchar_t* cls, const std::string& text, DWORD style, int id) {
    return CreateWindowExW(0, cls, text.empty() ? nullptr : W(text).c_str(),
                           WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, Form1.window,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
}

// The window and its controls, still hidden; false when no window can be created.
bool CreateForm1() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::wstring className = W(Form1.hooks->Name) + L".Form1";
    RegisterForm1(instance, className);
    Form1.window = CreateWindowExW(0, className.c_str(), W(Form1.hooks->Caption).c_str(), kStyle,
                                   CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight,
                                   nullptr, nullptr, instance, nullptr);
    if (!Form1.window) return false;
    Form1.Image1 = Control(L"STATIC", "", SS_BITMAP, IDC_IMAGE1);
    Form1.Label1 =
        Control(L"STATIC", Form1.hooks->InitialStatus, SS_CENTER | SS_NOTIFY, IDC_LABEL1);
    Form1.cmdClose = Control(L"BUTTON", Form1.hooks->CloseCaption,
                             WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, IDC_CMDCLOSE);
    return true;
}

// Client area of 540 x 216 at 96 dpi, scaled to the monitor, centred on its work area.
void PlaceForm1() {
    Form1.dpi = DpiOf(Form1.window);
    RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustForDpi(&frame, kStyle, 0, Form1.dpi);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(Form1.window, MONITOR_DEFAULTTOPRIMARY), &mi);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(Form1.window, nullptr,
                 mi.rcWork.left + (mi.rcWork.right - mi.rcWork.left - width) / 2,
                 mi.rcWork.top + (mi.rcWork.bottom - mi.rcWork.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
}

int RunForm1(const HarvixForm1Hooks* hooks, bool silent) {
    Form1.hooks = hooks;
    Form1.SilentMode = silent;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    if (hooks->StartupFailure) Fail(hooks->StartupFailure);
    if (!CreateForm1()) {
        if (!silent) return kHarvixNoDisplay;
        Sleep(300);
        Timer1_Timer();
        return 0;
    }
    PlaceForm1();
    if (!silent) {
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

}  // namespace

extern "C" int HarvixShowForm1(const HarvixForm1Hooks* hooks, int*, char***) {
    return RunForm1(hooks, false);
}

int harvix::RunForm1Hidden(const HarvixForm1Hooks* hooks) {
    return RunForm1(hooks, true);
}
