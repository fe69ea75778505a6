#include "wmi/windows/variant.h"
#include <windows.h>

#include <oleauto.h>

#include "platform/wide.h"

namespace harvix::comwmi {

WmiValue FromVariant(const VARIANT& v) {
    switch (V_VT(&v)) {
        case VT_NULL:
        case VT_EMPTY:
            return WmiValue();
        case VT_I4:
            return WmiValue(static_cast<std::int32_t>(V_I4(&v)));
        case VT_I2:
            return WmiValue(static_cast<std::int32_t>(V_I2(&v)));
        case VT_I1:
            return WmiValue(static_cast<std::int32_t>(V_I1(&v)));
        case VT_UI1:
            return WmiValue(static_cast<std::int32_t>(V_UI1(&v)));
        case VT_UI2:
            return WmiValue(static_cast<std::int32_t>(V_UI2(&v)));
        case VT_UI4:
            return WmiValue(static_cast<std::int32_t>(V_UI4(&v)));
        case VT_BOOL:
            return WmiValue(V_BOOL(&v) ? -1 : 0);  // True is -1, as scripts see it
        case VT_BSTR:
            return WmiValue(
                V_BSTR(&v) ? platform::Utf8(V_BSTR(&v), static_cast<int>(SysStringLen(V_BSTR(&v))))
                           : std::string());
        default: {
            // Dates, reals and the like: their text, as a script would print them.
            VARIANT text;
            VariantInit(&text);
            if (FAILED(
                    VariantChangeType(&text, const_cast<VARIANT*>(&v), VARIANT_ALPHABOOL, VT_BSTR)))
                throw HarvixError("Type de valeur WMI non pris en charge");
            WmiValue out(
                platform::Utf8(V_BSTR(&text), static_cast<int>(SysStringLen(V_BSTR(&text)))));
            VariantClear(&text);
            return out;
        }
    }
}

}  // namespace harvix::comwmi
