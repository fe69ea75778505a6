// Harvix_Tpm through TPM Base Services, which a standard user may call (Win32_Tpm
// answers administrators only). tbs.dll is looked up at run time: Tbsi_GetDeviceInfo
// is Windows 8's.
#include <cstdint>
#include <cstdio>

#include "wmi/windows/native.h"

namespace harvix::native {

namespace {

// tbs.h, declared here: the functions are looked up, not imported.
using TbsResult = UINT32;
using TbsContext = void*;
constexpr TbsResult kTbsSuccess = 0;
constexpr TbsResult kTpmNotFound = 0x8028400F;  // TBS_E_TPM_NOT_FOUND
constexpr TbsResult kNoTbs = 0xFFFFFFFF;        // not a TBS code: tbs.dll lacks the function
struct TpmDeviceInfo {
    UINT32 structVersion, tpmVersion, tpmInterfaceType, tpmImpRevision;
};
struct ContextParams2 {
    UINT32 version;  // 2: TBS_CONTEXT_VERSION_TWO
    UINT32 flags;    // 4: includeTpm20
};
using GetDeviceInfoFn = TbsResult(WINAPI*)(UINT32, void*);
using ContextCreateFn = TbsResult(WINAPI*)(const void*, TbsContext*);
using SubmitFn = TbsResult(WINAPI*)(TbsContext, UINT32, UINT32, const BYTE*, UINT32, BYTE*,
                                    UINT32*);
using ContextCloseFn = TbsResult(WINAPI*)(TbsContext);

std::string Hex(TbsResult code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::uint32_t BigEndian(const BYTE* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// TPM2_GetCapability(TPM_CAP_TPM_PROPERTIES, TPM_PT_MANUFACTURER, 1): the vendor's
// four ASCII bytes, trailing NULs and blanks dropped; nullopt on any other answer.
std::optional<std::string> ManufacturerOf(const BYTE* r, UINT32 size) {
    if (size < 27 || BigEndian(r + 6) != 0) return std::nullopt;  // response code
    if (BigEndian(r + 11) != 6 || BigEndian(r + 15) < 1 || BigEndian(r + 19) != 0x105)
        return std::nullopt;
    std::string id(reinterpret_cast<const char*>(r + 23), 4);
    while (!id.empty() && (id.back() == '\0' || id.back() == ' ')) id.pop_back();
    for (char c : id)
        if (c < 0x20 || c > 0x7E) return std::nullopt;
    return id;
}

// The manufacturer of a TPM 2.0, or the reason it could not be asked.
WmiValue Manufacturer(Answer& answer) {
    auto create =
        reinterpret_cast<ContextCreateFn>(SystemFunction(L"tbs.dll", "Tbsi_Context_Create"));
    auto submit = reinterpret_cast<SubmitFn>(SystemFunction(L"tbs.dll", "Tbsip_Submit_Command"));
    auto close =
        reinterpret_cast<ContextCloseFn>(SystemFunction(L"tbs.dll", "Tbsip_Context_Close"));
    if (!create || !submit || !close) {
        answer.Unread.push_back(UnreadNote("Fabricant du TPM", "tbs.dll incomplet"));
        return WmiValue();
    }
    const ContextParams2 params{2, 4};
    TbsContext context = nullptr;
    TbsResult rc = create(&params, &context);
    if (rc != kTbsSuccess) {
        answer.Unread.push_back(UnreadNote("Fabricant du TPM", "Tbsi_Context_Create : " + Hex(rc)));
        return WmiValue();
    }
    static const BYTE command[22] = {0x80, 0x01, 0, 0, 0, 22, 0, 0, 0x01, 0x7A, 0,
                                     0,    0,    6, 0, 0, 1,  5, 0, 0,    0,    1};
    BYTE response[512];
    UINT32 size = sizeof response;
    rc = submit(context, 0, 200, command, sizeof command, response, &size);  // locality 0, normal
    close(context);
    auto id = rc == kTbsSuccess ? ManufacturerOf(response, size) : std::nullopt;
    if (id) return WmiValue(*id);
    answer.Unread.push_back(
        UnreadNote("Fabricant du TPM", rc == kTbsSuccess ? "réponse du TPM illisible"
                                                         : "Tbsip_Submit_Command : " + Hex(rc)));
    return WmiValue();
}

// Windows 7 has no Tbsi_GetDeviceInfo; its TBS speaks to a TPM 1.2 only, so a context
// of the first version opens exactly when one is there.
TbsResult Windows7Device(TpmDeviceInfo& device) {
    auto create =
        reinterpret_cast<ContextCreateFn>(SystemFunction(L"tbs.dll", "Tbsi_Context_Create"));
    auto close =
        reinterpret_cast<ContextCloseFn>(SystemFunction(L"tbs.dll", "Tbsip_Context_Close"));
    if (!create || !close) return kNoTbs;
    const UINT32 params = 1;  // TBS_CONTEXT_PARAMS, TBS_CONTEXT_VERSION_ONE
    TbsContext context = nullptr;
    const TbsResult rc = create(&params, &context);
    if (rc == kTbsSuccess) {
        close(context);
        device.tpmVersion = 1;
    }
    return rc;
}

}  // namespace

Answer TpmObjects() {
    Answer answer;
    Instance tpm;
    auto info = reinterpret_cast<GetDeviceInfoFn>(SystemFunction(L"tbs.dll", "Tbsi_GetDeviceInfo"));
    TpmDeviceInfo device{};
    const TbsResult rc = info ? info(sizeof device, &device) : Windows7Device(device);
    const char* call = info ? "Tbsi_GetDeviceInfo : " : "Tbsi_Context_Create : ";
    WmiValue present, version, maker;
    if (rc == kNoTbs) {
        answer.Unread.push_back(UnreadNote("TPM", "TPM Base Services absents (tbs.dll)"));
    } else if (rc == kTpmNotFound) {
        present = WmiValue(0);
    } else if (rc != kTbsSuccess) {
        answer.Unread.push_back(UnreadNote("TPM", call + Hex(rc)));
    } else {
        present = WmiValue(-1);
        if (device.tpmVersion == 2) version = WmiValue("2.0");
        if (device.tpmVersion == 1) version = WmiValue("1.2");
        // A 1.2 TPM answers another command set; its maker stays unknown.
        if (device.tpmVersion == 2) maker = Manufacturer(answer);
    }
    tpm.Set("Present", present);
    tpm.Set("SpecVersion", version);
    tpm.Set("Manufacturer", maker);
    answer.Objects.push_back(std::move(tpm));
    return answer;
}

}  // namespace harvix::native
