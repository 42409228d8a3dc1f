#pragma once
// The check's device section: the encoder's nodes as Linux shows them to
// this account, the devices Windows shows the DLL under Wine, and for a
// device Linux has and Wine does not, the reason and the fix.
#include "bridge.h"
#include "devices.h"

#include <vector>

namespace kelrin::bridge {

// Asks the running helper for Wine's side: `bridge` must have been started.
std::vector<devices::Line> deviceSection(Bridge &bridge, const Found &found);

} // namespace kelrin::bridge
