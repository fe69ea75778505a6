// A WbemLocator that passes everything to Wine's own WMI, except that the walk
// over Win32_LogicalDisk stops answering after its first object, as a provider
// stuck on a disconnected network drive does: each later Next waits out the time
// it is given (for ever when that is WBEM_INFINITE) and returns WBEM_S_TIMEDOUT.
// Registered in a test prefix as the InprocServer32 of CLSID_WbemLocator.
#include <windows.h>

#include <wbemidl.h>

namespace {

LONG g_objects = 0;

template <class I>
class Unknown : public I {
  public:
    Unknown(REFIID iid) : iid_(iid) { InterlockedIncrement(&g_objects); }
    virtual ~Unknown() { InterlockedDecrement(&g_objects); }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (riid == IID_IUnknown || riid == iid_) {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG n = InterlockedDecrement(&refs_);
        if (n == 0) delete this;
        return n;
    }

  private:
    IID iid_;
    LONG refs_ = 1;
};

class StuckEnum : public Unknown<IEnumWbemClassObject> {
  public:
    explicit StuckEnum(IEnumWbemClassObject* real)
        : Unknown(IID_IEnumWbemClassObject), real_(real) {}
    ~StuckEnum() override { real_->Release(); }
    HRESULT STDMETHODCALLTYPE Reset() override { return real_->Reset(); }
    HRESULT STDMETHODCALLTYPE Next(long timeout, ULONG count, IWbemClassObject** objects,
                                   ULONG* returned) override {
        if (!given_) {
            given_ = true;
            return real_->Next(timeout, count > 1 ? 1 : count, objects, returned);
        }
        *returned = 0;
        Sleep(timeout == static_cast<long>(WBEM_INFINITE) ? INFINITE : static_cast<DWORD>(timeout));
        return WBEM_S_TIMEDOUT;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(long, ULONG) override { return E_NOTIMPL; }

  private:
    IEnumWbemClassObject* real_;
    bool given_ = false;
};

class Services : public Unknown<IWbemServices> {
  public:
    explicit Services(IWbemServices* real) : Unknown(IID_IWbemServices), r_(real) {}
    ~Services() override { r_->Release(); }
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR lang, const BSTR query, LONG flags,
                                        IWbemContext* ctx, IEnumWbemClassObject** out) override {
        HRESULT hr = r_->ExecQuery(lang, query, flags, ctx, out);
        if (SUCCEEDED(hr) && *out && wcsstr(query, L"Win32_LogicalDisk") &&
            !wcsstr(query, L"Win32_LogicalDiskTo"))
            *out = new StuckEnum(*out);
        return hr;
    }
    // Everything else is Wine's.
    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR a, LONG b, IWbemContext* c,
                                            IWbemServices** d, IWbemCallResult** e) override {
        return r_->OpenNamespace(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink* a) override {
        return r_->CancelAsyncCall(a);
    }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG a, IWbemObjectSink** b) override {
        return r_->QueryObjectSink(a, b);
    }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR a, LONG b, IWbemContext* c, IWbemClassObject** d,
                                        IWbemCallResult** e) override {
        return r_->GetObject(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR a, LONG b, IWbemContext* c,
                                             IWbemObjectSink* d) override {
        return r_->GetObjectAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject* a, LONG b, IWbemContext* c,
                                       IWbemCallResult** d) override {
        return r_->PutClass(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject* a, LONG b, IWbemContext* c,
                                            IWbemObjectSink* d) override {
        return r_->PutClassAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR a, LONG b, IWbemContext* c,
                                          IWbemCallResult** d) override {
        return r_->DeleteClass(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR a, LONG b, IWbemContext* c,
                                               IWbemObjectSink* d) override {
        return r_->DeleteClassAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR a, LONG b, IWbemContext* c,
                                              IEnumWbemClassObject** d) override {
        return r_->CreateClassEnum(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR a, LONG b, IWbemContext* c,
                                                   IWbemObjectSink* d) override {
        return r_->CreateClassEnumAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject* a, LONG b, IWbemContext* c,
                                          IWbemCallResult** d) override {
        return r_->PutInstance(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject* a, LONG b, IWbemContext* c,
                                               IWbemObjectSink* d) override {
        return r_->PutInstanceAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR a, LONG b, IWbemContext* c,
                                             IWbemCallResult** d) override {
        return r_->DeleteInstance(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR a, LONG b, IWbemContext* c,
                                                  IWbemObjectSink* d) override {
        return r_->DeleteInstanceAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR a, LONG b, IWbemContext* c,
                                                 IEnumWbemClassObject** d) override {
        return r_->CreateInstanceEnum(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR a, LONG b, IWbemContext* c,
                                                      IWbemObjectSink* d) override {
        return r_->CreateInstanceEnumAsync(a, b, c, d);
    }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR a, const BSTR b, LONG c, IWbemContext* d,
                                             IWbemObjectSink* e) override {
        return r_->ExecQueryAsync(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR a, const BSTR b, LONG c,
                                                    IWbemContext* d,
                                                    IEnumWbemClassObject** e) override {
        return r_->ExecNotificationQuery(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR a, const BSTR b, LONG c,
                                                         IWbemContext* d,
                                                         IWbemObjectSink* e) override {
        return r_->ExecNotificationQueryAsync(a, b, c, d, e);
    }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR a, const BSTR b, LONG c, IWbemContext* d,
                                         IWbemClassObject* e, IWbemClassObject** f,
                                         IWbemCallResult** g) override {
        return r_->ExecMethod(a, b, c, d, e, f, g);
    }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR a, const BSTR b, LONG c, IWbemContext* d,
                                              IWbemClassObject* e, IWbemObjectSink* f) override {
        return r_->ExecMethodAsync(a, b, c, d, e, f);
    }

  private:
    IWbemServices* r_;
};

class Locator : public Unknown<IWbemLocator> {
  public:
    explicit Locator(IWbemLocator* real) : Unknown(IID_IWbemLocator), real_(real) {}
    ~Locator() override { real_->Release(); }
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR ns, const BSTR user, const BSTR password,
                                            const BSTR locale, LONG flags, const BSTR authority,
                                            IWbemContext* ctx, IWbemServices** out) override {
        HRESULT hr = real_->ConnectServer(ns, user, password, locale, flags, authority, ctx, out);
        if (SUCCEEDED(hr) && *out) *out = new Services(*out);
        return hr;
    }

  private:
    IWbemLocator* real_;
};

class Factory : public Unknown<IClassFactory> {
  public:
    Factory() : Unknown(IID_IClassFactory) {}
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        // Wine's own locator, from its own module.
        using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        HMODULE wine = LoadLibraryW(L"wbemprox.dll");
        auto get = wine ? reinterpret_cast<GetClassObjectFn>(
                              reinterpret_cast<void*>(GetProcAddress(wine, "DllGetClassObject")))
                        : nullptr;
        IClassFactory* factory = nullptr;
        if (!get ||
            FAILED(get(CLSID_WbemLocator, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
            return E_FAIL;
        IWbemLocator* real = nullptr;
        HRESULT hr =
            factory->CreateInstance(nullptr, IID_IWbemLocator, reinterpret_cast<void**>(&real));
        factory->Release();
        if (FAILED(hr)) return hr;
        Locator* locator = new Locator(real);
        hr = locator->QueryInterface(riid, out);
        locator->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    *out = nullptr;
    if (clsid != CLSID_WbemLocator) return CLASS_E_CLASSNOTAVAILABLE;
    Factory* factory = new Factory;
    HRESULT hr = factory->QueryInterface(riid, out);
    factory->Release();
    return hr;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
    return g_objects == 0 ? S_OK : S_FALSE;
}
