// The provider reads WQL with the portable reader.
#pragma once

#include "wmi/linux/provider.h"
#include "wmi/wql.h"

namespace harvix::linuxwmi {

using harvix::LazyResults;
using harvix::ParseQuery;
using harvix::Query;

}  // namespace harvix::linuxwmi
