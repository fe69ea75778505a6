// A stand-in for TPM Base Services (tbs.dll) answering as a TPM 2.0 made by "IFX"
// would: device information, a context, and TPM2_GetCapability for
// TPM_PT_MANUFACTURER. Any other command gets TPM_RC_COMMAND_CODE. Copied over the
// prefix's system32\tbs.dll, loaded as native. HARVIX_TBS_HANGS=<function> makes that
// function never return, as a TBS service that stopped answering.
#include <windows.h>

#include <cstring>

namespace {

int g_context = 0;

void PutBig(BYTE* p, UINT32 v) {
    p[0] = BYTE(v >> 24), p[1] = BYTE(v >> 16), p[2] = BYTE(v >> 8), p[3] = BYTE(v);
}

void HangIfAsked(const char* function) {
    char hangs[64];
    const DWORD n = GetEnvironmentVariableA("HARVIX_TBS_HANGS", hangs, sizeof hangs);
    if (n > 0 && n < sizeof hangs && std::strcmp(hangs, function) == 0) Sleep(INFINITE);
}

}  // namespace

extern "C" {

__declspec(dllexport) UINT32 WINAPI Tbsi_GetDeviceInfo(UINT32 size, void* info) {
    HangIfAsked("Tbsi_GetDeviceInfo");
    if (size < 16 || !info) return 0x80284002;  // TBS_E_BAD_PARAMETER
    const UINT32 device[4] = {1, 2, 0, 0};      // version 1 record, TPM 2.0
    std::memcpy(info, device, sizeof device);
    return 0;
}

__declspec(dllexport) UINT32 WINAPI Tbsi_Context_Create(const UINT32* params, void** context) {
    if (!params || !context || params[0] != 2) return 0x80284002;
    *context = &g_context;
    return 0;
}

__declspec(dllexport) UINT32 WINAPI Tbsip_Context_Close(void* context) {
    return context == &g_context ? 0 : 0x80284001;  // TBS_E_INVALID_CONTEXT
}

__declspec(dllexport) UINT32 WINAPI
    Tbsip_Submit_Command(void* context, UINT32, UINT32, const BYTE* command, UINT32 length,
                         BYTE* result, UINT32* resultLength) {
    HangIfAsked("Tbsip_Submit_Command");
    if (context != &g_context || !resultLength || *resultLength < 27) return 0x80284002;
    static const BYTE getManufacturer[22] = {0x80, 0x01, 0, 0, 0, 22, 0, 0, 0x01, 0x7A, 0,
                                             0,    0,    6, 0, 0, 1,  5, 0, 0,    0,    1};
    std::memset(result, 0, 27);
    result[0] = 0x80, result[1] = 0x01;
    if (length != 22 || std::memcmp(command, getManufacturer, 22) != 0) {
        PutBig(result + 2, 10);
        PutBig(result + 6, 0x143);  // TPM_RC_COMMAND_CODE
        *resultLength = 10;
        return 0;
    }
    PutBig(result + 2, 27);
    result[10] = 0;          // moreData
    PutBig(result + 11, 6);  // TPM_CAP_TPM_PROPERTIES
    PutBig(result + 15, 1);  // one property
    PutBig(result + 19, 0x105);
    std::memcpy(result + 23, "IFX\0", 4);
    *resultLength = 27;
    return 0;
}

}  // extern "C"
