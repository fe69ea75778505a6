// The WMI seam over COM: IWbemLocator, IWbemServices and IEnumWbemClassObject.
#include <windows.h>

#include <wbemidl.h>

#include <cstdio>

#include "platform/wide.h"
#include "wmi/modWMI.h"
#include "wmi/windows/variant.h"

namespace harvix {

namespace {

// Owns one COM reference.
template <class T>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() {
        Reset();
        return &p_;
    }
    T* operator->() const { return p_; }
    T* Get() const { return p_; }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

  private:
    T* p_ = nullptr;
};

class VariantGuard {
  public:
    VariantGuard() { VariantInit(&v); }
    ~VariantGuard() { VariantClear(&v); }
    VARIANT v;
};

class Bstr {
  public:
    explicit Bstr(const std::wstring& s)
        : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    operator BSTR() const { return b_; }

  private:
    BSTR b_;
};

// WMI's own description of an HRESULT where it has one, the system's otherwise.
std::string Describe(HRESULT hr, const char* what) {
    std::string text;
    ComRef<IWbemStatusCodeText> status;
    if (SUCCEEDED(CoCreateInstance(CLSID_WbemStatusCodeText, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IWbemStatusCodeText,
                                   reinterpret_cast<void**>(status.Out())))) {
        BSTR message = nullptr;
        if (SUCCEEDED(status->GetErrorCodeText(hr, 0, 0, &message)) && message) {
            text = platform::Utf8(message);
            SysFreeString(message);
        }
    }
    if (text.empty()) {
        wchar_t* buffer = nullptr;
        if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer),
                           0, nullptr) &&
            buffer) {
            text = platform::Utf8(buffer);
            LocalFree(buffer);
        }
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return std::string(what) + " (" + code + ")" + (text.empty() ? "" : " : " + text);
}

class ComObject : public WmiObject {
  public:
    IWbemClassObject* object = nullptr;
    WmiValue Get(const std::string& name) const override {
        if (!object) throw HarvixError("Aucun objet WMI courant.");
        VariantGuard value;
        HRESULT hr = object->Get(platform::Wide(name).c_str(), 0, &value.v, nullptr, nullptr);
        if (FAILED(hr)) throw HarvixError(Describe(hr, ("Propriété " + name).c_str()));
        return comwmi::FromVariant(value.v);
    }
};

class ComResults : public WmiResultSet {
  public:
    explicit ComResults(IEnumWbemClassObject* e) : enum_(e) {}
    ~ComResults() override {
        Drop();
        enum_->Release();
    }
    const WmiObject* Next() override {
        Drop();
        ULONG returned = 0;
        HRESULT hr = enum_->Next(static_cast<LONG>(WBEM_INFINITE), 1, &current_.object, &returned);
        // A failing Next is a failure, not a short list.
        if (FAILED(hr)) throw HarvixError(Describe(hr, "Lecture du résultat WMI"));
        if (hr == WBEM_S_FALSE || returned == 0) return nullptr;
        return &current_;
    }

  private:
    void Drop() {
        if (current_.object) current_.object->Release();
        current_.object = nullptr;
    }
    IEnumWbemClassObject* enum_;
    ComObject current_;
};

class ComService : public WmiServiceBase {
  public:
    explicit ComService(IWbemServices* s) : services_(s) {}
    ~ComService() override { services_->Release(); }
    std::unique_ptr<WmiResultSet> ExecQuery(const std::string& wql, int flags) override {
        IEnumWbemClassObject* e = nullptr;
        HRESULT hr =
            services_->ExecQuery(Bstr(L"WQL"), Bstr(platform::Wide(wql)), flags, nullptr, &e);
        if (FAILED(hr) || !e) throw HarvixError(Describe(hr, "Requête WMI"));
        // Each query's enumerator speaks with the caller's identity.
        CoSetProxyBlanket(e, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                          RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
        return std::make_unique<ComResults>(e);
    }

  private:
    IWbemServices* services_;
};

}  // namespace

WmiServicePtr ConnectWMI(const std::string& computerName) {
    // COM lives for the whole process, like the service.
    static const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) throw HarvixError(Describe(init, "COM"));
    static const HRESULT security =
        CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    (void)security;  // already set by the host process is fine

    ComRef<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWbemLocator, reinterpret_cast<void**>(locator.Out()));
    if (FAILED(hr)) throw HarvixError(Describe(hr, "winmgmts"));
    const std::wstring path = L"\\\\" + platform::Wide(computerName) + L"\\root\\cimv2";
    IWbemServices* services = nullptr;
    hr = locator->ConnectServer(Bstr(path), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                &services);
    if (FAILED(hr) || !services)
        throw HarvixError(Describe(hr, ("winmgmts:" + platform::Utf8(path.c_str())).c_str()));
    CoSetProxyBlanket(services, RPC_C_AUTHN_DEFAULT, RPC_C_AUTHZ_NONE, nullptr,
                      RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return std::make_shared<ComService>(services);
}

}  // namespace harvix
