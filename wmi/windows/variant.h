// WMI's VARIANTs as WmiValues: uint16/uint32 arrive as VT_I4, 64-bit counts as
// VT_BSTR, missing values as VT_NULL.
#pragma once

#include <windows.h>

#include <oaidl.h>

#include <string>

#include "wmi/modWMI.h"

namespace harvix::comwmi {

// cimType is the property's CIMTYPE as Get reports it (0 when unknown): a uint32
// carried in a signed VT_I4 is read back as the unsigned number it is.
WmiValue FromVariant(const VARIANT& v, long cimType = 0);

}  // namespace harvix::comwmi
