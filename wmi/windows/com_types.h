// Owners for what COM hands out: interface pointers (ComPtr), BSTRs and VARIANTs.
#pragma once

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

namespace harvix::comwmi {

using Microsoft::WRL::ComPtr;

// Owns one BSTR; null stands for the empty string, as in COM.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& s)
        : b_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    operator BSTR() const { return b_; }
    // For an out parameter: whatever was held is freed first.
    BSTR* Out() {
        SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }

  private:
    BSTR b_ = nullptr;
};

// Owns one VARIANT, cleared when it goes.
class VariantGuard {
  public:
    VariantGuard() { VariantInit(&v); }
    ~VariantGuard() { VariantClear(&v); }
    VariantGuard(const VariantGuard&) = delete;
    VariantGuard& operator=(const VariantGuard&) = delete;
    VARIANT v;
};

}  // namespace harvix::comwmi
