// Harvix_Software: the uninstall records "Programs and Features" lists, from both
// registry views of HKLM and from HKCU. Never Win32_Product, which checks (and may
// repair) every MSI package it walks.
#include "platform/wide.h"
#include "wmi/windows/native.h"

namespace harvix::native {

namespace {

const wchar_t kUninstall[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

struct View {
    HKEY Hive;
    REGSAM Access;
    const char* Source;
    const char* Architecture;  // null: HKCU is shared by both views
};

UninstallValues ValuesOf(HKEY key) {
    UninstallValues v;
    v.DisplayName = QueryValue(key, L"DisplayName");
    v.DisplayVersion = QueryValue(key, L"DisplayVersion");
    v.Publisher = QueryValue(key, L"Publisher");
    v.InstallDate = QueryValue(key, L"InstallDate");
    v.SystemComponent = QueryValue(key, L"SystemComponent");
    v.ParentKeyName = QueryValue(key, L"ParentKeyName");
    v.ReleaseType = QueryValue(key, L"ReleaseType");
    return v;
}

void ReadView(const View& view, Answer& answer) {
    HKEY list = OpenKey(view.Hive, kUninstall, view.Access);
    if (!list) return;  // no program ever registered there
    for (const std::wstring& name : SubkeyNames(list)) {
        HKEY key = OpenKey(list, name, view.Access);
        if (!key) continue;
        auto record = ReadUninstallRecord(ValuesOf(key));
        RegCloseKey(key);
        if (!record) continue;
        Instance program;
        program.Set("Name", WmiValue(record->Name));
        program.Set("Version", record->Version);
        program.Set("Publisher", record->Publisher);
        program.Set("InstallDate", record->InstallDate);
        program.Set("Architecture", view.Architecture ? WmiValue(view.Architecture) : WmiValue());
        program.Set("Source", WmiValue(view.Source));
        program.Set("Guid", WmiValue(platform::Utf8(name.c_str())));
        answer.Objects.push_back(std::move(program));
    }
    RegCloseKey(list);
}

}  // namespace

Answer SoftwareObjects() {
    Answer answer;
    // The program is built for x64 only, so both views of HKLM exist wherever it runs.
    const View views[] = {
        {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "HKLM", "x86_64"},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "HKLM32", "i386"},
        {HKEY_CURRENT_USER, 0, "HKCU", nullptr},
    };
    for (const View& view : views) ReadView(view, answer);
    return answer;
}

}  // namespace harvix::native
