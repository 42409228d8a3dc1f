#pragma once
// The Linux side of the libusb0.dll the bridge supplies: each request the
// DLL makes under Wine, carried out with Linux's libusb on /dev/bus/usb in
// the bridge's own process. One lives as long as its helper; the handles it
// opened close with it.
#include "child.h"
#include "protocol.h"

#include <cstdint>
#include <map>
#include <memory>

struct libusb_context;
struct libusb_device_handle;

namespace kelrin::bridge {

class UsbHost
{
public:
    UsbHost();
    ~UsbHost();
    UsbHost(const UsbHost &) = delete;
    UsbHost &operator=(const UsbHost &) = delete;

    // Carries out `request` within `deadline`: a transfer the device never
    // answers ends with the time-out error by then, however long the DLL
    // asked to wait.
    UsbAnswer serve(const UsbRequest &request, Deadline deadline);

private:
    UsbAnswer list();
    UsbAnswer open(const UsbRequest &request);
    UsbAnswer transfer(libusb_device_handle *handle, const UsbRequest &request, unsigned timeoutMs);

    libusb_context *m_context = nullptr;
    int m_initError = 0;
    std::map<std::uint32_t, libusb_device_handle *> m_handles;
    std::uint32_t m_nextHandle = 1;
};

// libusb's error as libusb-win32 gives it.
std::int32_t usbErrorOf(int libusbError);

} // namespace kelrin::bridge
