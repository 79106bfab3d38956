#pragma once
// The Windows side of a wmi::Object: an automation object that Windows code already
// holds, made into one, so that the walk and the property read take any IDispatch.
#include <oaidl.h>

#include "platform/Wmi.h"

namespace platform::wmi {

// An Object sharing `dispatch`: it adds a reference of its own.
Object ObjectOf(IDispatch* dispatch);

}  // namespace platform::wmi
