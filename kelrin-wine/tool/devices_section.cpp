#include "tool/devices_section.h"

namespace kelrin::bridge {

std::vector<devices::Line> deviceSection(Bridge &bridge, const Found &found)
{
    devices::Section section;
    section.fromLinux = devices::linuxDevices();
    section.account = devices::account();
    section.grabbers = devices::serialGrabbers();
    if (found.hello)
        section.wine = bridge.devices();
    if (found.prefix)
        section.comLinks = devices::comLinks(found.prefix->string());
    return devices::describe(section);
}

} // namespace kelrin::bridge
