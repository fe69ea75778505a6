// Holds a file open the way Excel holds a workbook (others may read it, not
// replace it), or with "exclusive" as no one may even read it, until its
// standard input closes; says "held" once it has it.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    const bool exclusive = argc > 2 && lstrcmpW(argv[2], L"exclusive") == 0;
    HANDLE f = CreateFileW(argv[1], GENERIC_READ | GENERIC_WRITE, exclusive ? 0 : FILE_SHARE_READ,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    char buf[64];
    while (std::fgets(buf, sizeof buf, stdin)) {
    }
    CloseHandle(f);
    return 0;
}
