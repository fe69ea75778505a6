// Harvix_Tpm through TPM Base Services, which a standard user may call (Win32_Tpm
// answers administrators only). tbs.dll is looked up at run time: Tbsi_GetDeviceInfo
// is Windows 8's. Every call is time-limited, as WMI's walks are.
#include <process.h>

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

// TBS functions, looked up on the calling thread (a DLL's load is never left to a
// thread that may be abandoned while it holds the loader's lock).
struct Tbs {
    GetDeviceInfoFn info = nullptr;
    ContextCreateFn create = nullptr;
    SubmitFn submit = nullptr;
    ContextCloseFn close = nullptr;
};

Tbs LookUpTbs() {
    Tbs tbs;
    tbs.info = reinterpret_cast<GetDeviceInfoFn>(SystemFunction(L"tbs.dll", "Tbsi_GetDeviceInfo"));
    tbs.create =
        reinterpret_cast<ContextCreateFn>(SystemFunction(L"tbs.dll", "Tbsi_Context_Create"));
    tbs.submit = reinterpret_cast<SubmitFn>(SystemFunction(L"tbs.dll", "Tbsip_Submit_Command"));
    tbs.close = reinterpret_cast<ContextCloseFn>(SystemFunction(L"tbs.dll", "Tbsip_Context_Close"));
    return tbs;
}

// The manufacturer of a TPM 2.0, or the reason it could not be asked.
struct MakerReading {
    std::optional<std::string> id;
    std::string failure;
};

MakerReading ReadManufacturer(const Tbs& tbs) {
    if (!tbs.create || !tbs.submit || !tbs.close) return {std::nullopt, "tbs.dll incomplet"};
    const ContextParams2 params{2, 4};
    TbsContext context = nullptr;
    TbsResult rc = tbs.create(&params, &context);
    if (rc != kTbsSuccess) return {std::nullopt, "Tbsi_Context_Create : " + Hex(rc)};
    static const BYTE command[22] = {0x80, 0x01, 0, 0, 0, 22, 0, 0, 0x01, 0x7A, 0,
                                     0,    0,    6, 0, 0, 1,  5, 0, 0,    0,    1};
    BYTE response[512];
    UINT32 size = sizeof response;
    rc = tbs.submit(context, 0, 200, command, sizeof command, response, &size);  // locality 0
    tbs.close(context);
    if (rc != kTbsSuccess) return {std::nullopt, "Tbsip_Submit_Command : " + Hex(rc)};
    auto id = ManufacturerOf(response, size);
    if (!id) return {std::nullopt, "réponse du TPM illisible"};
    return {id, ""};
}

// Windows 7 has no Tbsi_GetDeviceInfo; its TBS speaks to a TPM 1.2 only, so a context
// of the first version opens exactly when one is there.
TbsResult Windows7Device(const Tbs& tbs, TpmDeviceInfo& device) {
    if (!tbs.create || !tbs.close) return kNoTbs;
    const UINT32 params = 1;  // TBS_CONTEXT_PARAMS, TBS_CONTEXT_VERSION_ONE
    TbsContext context = nullptr;
    const TbsResult rc = tbs.create(&params, &context);
    if (rc == kTbsSuccess) {
        tbs.close(context);
        device.tpmVersion = 1;
    }
    return rc;
}

struct DeviceReading {
    TbsResult rc = kNoTbs;
    TpmDeviceInfo device{};
};

DeviceReading ReadDevice(const Tbs& tbs) {
    DeviceReading r;
    r.rc = tbs.info ? tbs.info(sizeof r.device, &r.device) : Windows7Device(tbs, r.device);
    return r;
}

// TBS is a local service that answers in milliseconds. The TPM behind it gets 4 s
// to be ready for a command and 20 ms for a short one such as TPM2_GetCapability
// (TPM2_TIMEOUT_B, TPM2_DURATION_SHORT in Linux's include/linux/tpm.h). 5 s for the
// whole TPM covers that; a TBS that never answers costs no more.
constexpr ULONGLONG kTpmLimitMs = 5000;

// call() on a thread of its own, waited for until the deadline (GetTickCount64);
// nullopt when it has not returned by then. That thread is then abandoned: it
// shares only its board, freed by whichever of the two lets go last, and holds
// nothing of the run's. Win32 threads, so no clock of the C++ library is imported.
template <class Result, class Call>
class Limited {
  public:
    static std::optional<Result> Run(Call call, ULONGLONG deadline) {
        auto* board = new Board{std::move(call), Result{}, 2};
        HANDLE thread =
            reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Work, board, 0, nullptr));
        if (!thread) {  // no thread to spare: asked here, unbounded as before
            Result r = board->call();
            delete board;
            return r;
        }
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        std::optional<Result> result;
        if (WaitForSingleObject(thread, wait) == WAIT_OBJECT_0) result = board->result;
        CloseHandle(thread);
        Release(board);
        return result;
    }

  private:
    struct Board {
        Call call;
        Result result;
        LONG owners;
    };
    static void Release(Board* board) {
        if (InterlockedDecrement(&board->owners) == 0) delete board;
    }
    static unsigned __stdcall Work(void* p) {
        auto* board = static_cast<Board*>(p);
        board->result = board->call();
        Release(board);
        return 0;
    }
};

template <class Result, class Call>
std::optional<Result> WithinLimit(Call call, ULONGLONG deadline) {
    return Limited<Result, Call>::Run(std::move(call), deadline);
}

std::string NoAnswer(const char* who) {
    return std::string("pas de réponse ") + who + " en " + std::to_string(kTpmLimitMs / 1000) +
           " s";
}

}  // namespace

Answer TpmObjects() {
    Answer answer;
    Instance tpm;
    const Tbs tbs = LookUpTbs();
    const ULONGLONG deadline = GetTickCount64() + kTpmLimitMs;
    const auto reading = WithinLimit<DeviceReading>([tbs] { return ReadDevice(tbs); }, deadline);
    const char* call = tbs.info ? "Tbsi_GetDeviceInfo : " : "Tbsi_Context_Create : ";
    WmiValue present, version, maker;
    if (!reading) {
        answer.Unread.push_back(UnreadNote("TPM", NoAnswer("de TPM Base Services")));
    } else if (reading->rc == kNoTbs) {
        answer.Unread.push_back(UnreadNote("TPM", "TPM Base Services absents (tbs.dll)"));
    } else if (reading->rc == kTpmNotFound) {
        present = WmiValue(0);
    } else if (reading->rc != kTbsSuccess) {
        answer.Unread.push_back(UnreadNote("TPM", call + Hex(reading->rc)));
    } else {
        present = WmiValue(-1);
        const UINT32 family = reading->device.tpmVersion;
        if (family == 2) version = WmiValue("2.0");
        if (family == 1) version = WmiValue("1.2");
        // A 1.2 TPM answers another command set; its maker stays unknown.
        if (family == 2) {
            auto m = WithinLimit<MakerReading>([tbs] { return ReadManufacturer(tbs); }, deadline);
            if (!m)
                answer.Unread.push_back(UnreadNote("Fabricant du TPM", NoAnswer("du TPM")));
            else if (m->id)
                maker = WmiValue(*m->id);
            else
                answer.Unread.push_back(UnreadNote("Fabricant du TPM", m->failure));
        }
    }
    tpm.Set("Present", present);
    tpm.Set("SpecVersion", version);
    tpm.Set("Manufacturer", maker);
    answer.Objects.push_back(std::move(tpm));
    return answer;
}

}  // namespace harvix::native
