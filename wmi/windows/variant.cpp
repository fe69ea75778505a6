#include "wmi/windows/variant.h"
#include <windows.h>

#include <wbemcli.h>

#include <cstdint>

#include "platform/wide.h"
#include "wmi/windows/com_types.h"

namespace harvix::comwmi {

namespace {

WmiValue TextOf(BSTR b) {
    return WmiValue(b ? platform::Utf8(b, static_cast<int>(SysStringLen(b))) : std::string());
}

// A WMI array (ChassisTypes, string lists) as the text of its elements joined by ",",
// each element read as a single value of the array's element type would be.
WmiValue JoinedArray(const VARIANT& v, long cimType) {
    SAFEARRAY* array = (V_VT(&v) & VT_BYREF) ? *V_ARRAYREF(&v) : V_ARRAY(&v);
    if (!array) return WmiValue();
    if (SafeArrayGetDim(array) != 1) throw HarvixError("Tableau WMI à plusieurs dimensions");
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    const VARTYPE type = V_VT(&v) & VT_TYPEMASK;
    std::string joined;
    for (LONG i = low; i <= high; ++i) {
        VariantGuard item;
        // Every member of the VARIANT union starts at the same address.
        void* slot = type == VT_VARIANT ? static_cast<void*>(&item.v) : &V_BSTR(&item.v);
        if (FAILED(SafeArrayGetElement(array, &i, slot)))
            throw HarvixError("Élément de tableau WMI illisible");
        if (type != VT_VARIANT) V_VT(&item.v) = type;
        WmiValue element = FromVariant(item.v, cimType & ~CIM_FLAG_ARRAY);
        if (i != low) joined += ',';
        joined += ConcatText(element);
    }
    return WmiValue(std::move(joined));
}

}  // namespace

WmiValue FromVariant(const VARIANT& v, long cimType) {
    if (V_VT(&v) & VT_ARRAY) return JoinedArray(v, cimType);
    switch (V_VT(&v)) {
        case VT_NULL:
        case VT_EMPTY:
            return WmiValue();
        case VT_I4:
            // A uint8/uint16 carried in a VT_I4 is only its low bits: Wine's arrays of
            // them fill the rest from the next element.
            if (cimType == CIM_UINT16)
                return WmiValue(static_cast<std::int32_t>(V_I4(&v) & 0xFFFF));
            if (cimType == CIM_UINT8) return WmiValue(static_cast<std::int32_t>(V_I4(&v) & 0xFF));
            if (cimType == CIM_UINT32 && V_I4(&v) < 0) {
                // Beyond a signed 32-bit number: the digits, as 64-bit counts arrive.
                return WmiValue(std::to_string(static_cast<std::uint32_t>(V_I4(&v))));
            }
            return WmiValue(static_cast<std::int32_t>(V_I4(&v)));
        case VT_I2:
            if (cimType == CIM_UINT16) return WmiValue(static_cast<std::int32_t>(V_UI2(&v)));
            return WmiValue(static_cast<std::int32_t>(V_I2(&v)));
        case VT_I1:
            return WmiValue(static_cast<std::int32_t>(V_I1(&v)));
        case VT_UI1:
            return WmiValue(static_cast<std::int32_t>(V_UI1(&v)));
        case VT_UI2:
            return WmiValue(static_cast<std::int32_t>(V_UI2(&v)));
        case VT_UI4:
            if (V_UI4(&v) > 0x7FFFFFFFu) return WmiValue(std::to_string(V_UI4(&v)));
            return WmiValue(static_cast<std::int32_t>(V_UI4(&v)));
        case VT_BOOL:
            return WmiValue(V_BOOL(&v) ? -1 : 0);  // True is -1, as scripts see it
        case VT_BSTR:
            return TextOf(V_BSTR(&v));
        default: {
            // Dates, reals and the like: their text, as a script would print them.
            VariantGuard text;
            if (FAILED(VariantChangeType(&text.v, const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL,
                                         VT_BSTR)))
                throw HarvixError("Type de valeur WMI non pris en charge");
            return TextOf(V_BSTR(&text.v));
        }
    }
}

}  // namespace harvix::comwmi
