#pragma once
// The devices a DLL under this Wine finds, as the check shows them.
#include "protocol.h"

namespace kelrin::host {

// The HID devices that setupapi and hid.dll enumerate, and the COM ports
// Wine has mapped. setupapi.dll and hid.dll are loaded only here, so that a
// helper that is never asked starts without them.
bridge::DeviceList listDevices();

} // namespace kelrin::host
