// The WMI seam over COM: IWbemLocator, IWbemServices and IEnumWbemClassObject.
#include "wmi/windows/com_wmi.h"
#include <windows.h>

#include <cstdio>

#include "platform/wide.h"
#include "wmi/windows/native.h"
#include "wmi/windows/variant.h"

namespace harvix {

using comwmi::Bstr;
using comwmi::ComPtr;
using comwmi::VariantGuard;

namespace {

// WMI's own description of an HRESULT where it has one, the system's otherwise.
std::string Describe(HRESULT hr, const std::string& what) {
    std::string text;
    ComPtr<IWbemStatusCodeText> status;
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemStatusCodeText, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemStatusCodeText,
                                   reinterpret_cast<void**>(status.ReleaseAndGetAddressOf())))) {
        Bstr message;
        if (SUCCEEDED(status->GetErrorCodeText(hr, 0, 0, message.Out())) && message)
            text = platform::Utf8(message, static_cast<int>(SysStringLen(message)));
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) text = platform::SystemMessage(static_cast<unsigned long>(hr));
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return what + " (" + code + ")" + (text.empty() ? "" : " : " + text);
}

class ComObject : public WmiObject {
  public:
    ComPtr<IWbemClassObject> object;
    WmiValue Get(const std::string& name) const override {
        if (!object) throw HarvixError("Aucun objet WMI courant.");
        VariantGuard value;
        CIMTYPE type = 0;
        HRESULT hr = object->Get(platform::Wide(name).c_str(), 0, &value.v, &type, nullptr);
        if (FAILED(hr)) throw HarvixError(Describe(hr, "Propriété " + name));
        return comwmi::FromVariant(value.v, type);
    }
};

class ComResults : public WmiResultSet {
  public:
    ComResults(ComPtr<IEnumWbemClassObject> e, long timeoutMs)
        : enum_(std::move(e)), timeoutMs_(timeoutMs) {}
    const WmiObject* Next() override {
        current_.object.Reset();
        ULONG returned = 0;
        HRESULT hr =
            enum_->Next(timeoutMs_, 1, current_.object.ReleaseAndGetAddressOf(), &returned);
        // A failing or timed-out Next is a failure, not a short list.
        if (FAILED(hr)) throw HarvixError(Describe(hr, "Lecture du résultat WMI"));
        if (hr == WBEM_S_TIMEDOUT)
            throw HarvixError("Lecture du résultat WMI : pas de réponse en " +
                              std::to_string(timeoutMs_ / 1000) + " s");
        if (hr == WBEM_S_FALSE || returned == 0 || !current_.object) return nullptr;
        return &current_;
    }

  private:
    ComPtr<IEnumWbemClassObject> enum_;
    long timeoutMs_;
    ComObject current_;
};

class ComService : public WmiServiceBase {
  public:
    explicit ComService(ComPtr<IWbemServices> s) : services_(std::move(s)) {}
    std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) override {
        ComPtr<IEnumWbemClassObject> e;
        HRESULT hr = services_->ExecQuery(Bstr(L"WQL"), Bstr(platform::Wide(wql)), flags, nullptr,
                                          e.ReleaseAndGetAddressOf());
        if (FAILED(hr) || !e) throw HarvixError(Describe(hr, "Requête WMI"));
        // Each query's enumerator speaks with the caller's identity.
        CoSetProxyBlanket(e.Get(), RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr,
                          RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
        return comwmi::WalkOf(std::move(e));
    }

  private:
    ComPtr<IWbemServices> services_;
};

}  // namespace

std::unique_ptr<WmiResultSet> comwmi::WalkOf(ComPtr<IEnumWbemClassObject> results, long timeoutMs) {
    return std::make_unique<ComResults>(std::move(results), timeoutMs);
}

WmiServicePtr comwmi::ConnectCom(const std::string& computerName) {
    // COM lives for the whole process, like the service.
    static const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) throw HarvixError(Describe(init, "COM"));
    static const HRESULT security =
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    (void)security;  // already set by the host process is fine

    ComPtr<IWbemLocator> locator;
    HRESULT hr =
        CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                         reinterpret_cast<void**>(locator.ReleaseAndGetAddressOf()));
    if (FAILED(hr)) throw HarvixError(Describe(hr, "winmgmts"));
    const std::wstring path = L"\\\\" + platform::Wide(computerName) + L"\\root\\cimv2";
    ComPtr<IWbemServices> services;
    // A service that does not answer gives up within WMI's own maximum wait.
    hr = locator->ConnectServer(Bstr(path), nullptr, nullptr, nullptr,
                                WBEM_FLAG_CONNECT_USE_MAX_WAIT, nullptr, nullptr,
                                services.ReleaseAndGetAddressOf());
    if (FAILED(hr) || !services)
        throw HarvixError(Describe(hr, "winmgmts:" + platform::Utf8(path.c_str())));
    CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return std::make_shared<ComService>(std::move(services));
}

}  // namespace harvix
