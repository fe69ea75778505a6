// HarvixIndex.exe: the index of a folder of reports, in a small window like
// Harvix's (status line, "Fermer"), or silently with the status on standard output.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "index/app.h"
#include "index/windows/resource.h"
#include "platform/platform.h"
#include "platform/wide.h"

using namespace harvix;

namespace {

// Design values at 96 dpi: client area, then controls as left, top, width, height.
constexpr int kClientWidth = 540, kClientHeight = 150;
constexpr RECT kLabel1{8, 16, 521, 90}, kCmdClose{440, 116, 89, 25};
const UINT_PTR kTimer1 = 1;

struct IndexWindow {
    HWND window = nullptr, Label1 = nullptr, cmdClose = nullptr;
    HFONT font = nullptr;
    UINT dpi = 96;
    index::Invocation run;
    int exitStatus = 0;
} Form;

std::wstring W(const std::string& s) {
    return platform::Wide(s);
}

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
        const std::wstring wide = W(text);
        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

int Scale(int px) {
    return MulDiv(px, static_cast<int>(Form.dpi), 96);
}

void Layout() {
    if (Form.font) DeleteObject(Form.font);
    Form.font = CreateFontW(-MulDiv(9, static_cast<int>(Form.dpi), 72), 0, 0, 0, FW_NORMAL, FALSE,
                            FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
    for (HWND control : {Form.Label1, Form.cmdClose})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Form.font), TRUE);
    for (auto [control, r] : {std::pair{Form.Label1, kLabel1}, std::pair{Form.cmdClose, kCmdClose}})
        SetWindowPos(control, nullptr, Scale(r.left), Scale(r.top), Scale(r.right), Scale(r.bottom),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void Timer1_Timer() {
    if (Form.window) KillTimer(Form.window, kTimer1);  // one run per process
    index::IndexOutcome outcome = index::RunIndexReporting(Form.run.Folder);
    Form.exitStatus = outcome.ExitStatus;
    if (Form.window) {
        SetWindowTextW(Form.Label1, W(outcome.Status).c_str());
        EnableWindow(Form.cmdClose, TRUE);
    }
}

void Label1_DblClick() {
    try {
        platform::OpenFolder(Form.run.Folder + "\\");
    } catch (const std::exception& e) {
        MessageBoxW(Form.window, W(e.what()).c_str(), L"HarvixIndex", MB_OK | MB_ICONERROR);
    }
}

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_TIMER:
            if (wParam == kTimer1) Timer1_Timer();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_CMDCLOSE && HIWORD(wParam) == BN_CLICKED) DestroyWindow(hwnd);
            if (LOWORD(wParam) == IDC_LABEL1 && HIWORD(wParam) == STN_DBLCLK) Label1_DblClick();
            return 0;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        case WM_DPICHANGED: {
            Form.dpi = HIWORD(wParam);
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
    const std::wstring wide = W(folder);
    DWORD n = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return folder;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
    full.resize(n);
    return platform::Utf8(full.c_str(), static_cast<int>(full.size()));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    std::string error;
    if (!index::ParseArguments(Arguments(), Form.run, error)) {
        PrintStatus(error);
        return 2;
    }
    try {
        Form.run.Folder =
            Form.run.Folder.empty() ? platform::ProgramFolder() : FullPath(Form.run.Folder);
    } catch (const std::exception& e) {
        PrintStatus(e.what());
        return 2;
    }
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FormProc;
    wc.hInstance = instance;
    wc.hIcon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_HARVIXINDEX), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    wc.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_HARVIXINDEX), IMAGE_ICON, 16, 16, 0));
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = L"HarvixIndex.Form1";
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;  // no minimise, no maximise
    if (!Form.run.Silent && RegisterClassExW(&wc))
        Form.window = CreateWindowExW(0, wc.lpszClassName, W(index::kCaption).c_str(), style,
                                      CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, kClientHeight,
                                      nullptr, nullptr, instance, nullptr);
    if (!Form.window) {
        // /silent, or no window station (a service session): the status goes out as text.
        index::IndexOutcome outcome = index::RunIndexReporting(Form.run.Folder);
        PrintStatus(outcome.Status);
        return outcome.ExitStatus;
    }
    Form.Label1 =
        CreateWindowExW(0, L"STATIC", W(index::kInitialStatus).c_str(),
                        WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOTIFY, 0, 0, 0, 0, Form.window,
                        reinterpret_cast<HMENU>(IDC_LABEL1), instance, nullptr);
    Form.cmdClose =
        CreateWindowExW(0, L"BUTTON", W(index::kCloseCaption).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, 0, 0, 0,
                        0, Form.window, reinterpret_cast<HMENU>(IDC_CMDCLOSE), instance, nullptr);

    // The client area at the screen's scale, centred on the work area.
    HDC dc = GetDC(nullptr);
    Form.dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
    ReleaseDC(nullptr, dc);
    if (!Form.dpi) Form.dpi = 96;
    RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
    AdjustWindowRectEx(&frame, style, FALSE, 0);
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(Form.window, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    Layout();
    ShowWindow(Form.window, SW_SHOWNORMAL);
    UpdateWindow(Form.window);
    SetTimer(Form.window, kTimer1, 300, nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(Form.window, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return Form.exitStatus;
}
