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
    const std::string where = std::string("Programmes installés (") + view.Source + ")";
    LONG status = ERROR_SUCCESS;
    HKEY list = OpenKey(view.Hive, kUninstall, view.Access, &status);
    if (!list) {
        // No program ever registered there; any other failure hides a whole list.
        if (status != ERROR_FILE_NOT_FOUND)
            answer.Unread.push_back(UnreadNote(where, RegistryFailure(status)));
        return;
    }
    const std::vector<std::wstring> names = SubkeyNames(list, &status);
    if (status != ERROR_SUCCESS)
        answer.Unread.push_back(UnreadNote(where, "liste incomplète : " + RegistryFailure(status)));
    for (const std::wstring& name : names) {
        HKEY key = OpenKey(list, name, view.Access, &status);
        if (!key) {
            // Gone since the walk: nothing to show. Any other failure hides a program.
            if (status != ERROR_FILE_NOT_FOUND)
                answer.Unread.push_back(UnreadNote(where + " " + platform::Utf8(name.c_str()),
                                                   RegistryFailure(status)));
            continue;
        }
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
    // The architectures are GLPI's agent's words (Win32/Softwares.pm), part of the
    // version key GLPI files each program under.
    const View views[] = {
        {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, "HKLM", "x86_64"},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "HKLM32", "i586"},
        {HKEY_CURRENT_USER, 0, "HKCU", nullptr},
    };
    for (const View& view : views) ReadView(view, answer);
    return answer;
}

}  // namespace harvix::native
