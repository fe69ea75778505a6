// WMI's VARIANTs as WmiValues: uint16/uint32 arrive as VT_I4, 64-bit counts as
// VT_BSTR, missing values as VT_NULL.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

#include "wmi/modWMI.h"

namespace harvix::comwmi {

WmiValue FromVariant(const VARIANT& v);

}  // namespace harvix::comwmi
