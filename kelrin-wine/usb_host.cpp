#include "usb_host.h"

#include <libusb.h>

#include <algorithm>

namespace kelrin::bridge {

namespace {

// A configuration's whole descriptor as the device gives it, rebuilt from
// what libusb parsed: libusb keeps the bytes of every descriptor it does not
// know in `extra`, in their place.
void append(std::string &out, const unsigned char *bytes, int count)
{
    if (bytes && count > 0)
        out.append(reinterpret_cast<const char *>(bytes), static_cast<std::size_t>(count));
}

std::string configurationBytes(const libusb_config_descriptor &config)
{
    std::string out;
    const unsigned char head[9] = {9,
                                   LIBUSB_DT_CONFIG,
                                   static_cast<unsigned char>(config.wTotalLength & 0xFF),
                                   static_cast<unsigned char>(config.wTotalLength >> 8),
                                   config.bNumInterfaces,
                                   config.bConfigurationValue,
                                   config.iConfiguration,
                                   config.bmAttributes,
                                   config.MaxPower};
    append(out, head, sizeof head);
    append(out, config.extra, config.extra_length);
    for (int i = 0; i < config.bNumInterfaces; ++i) {
        const libusb_interface &interface = config.interface[i];
        for (int a = 0; a < interface.num_altsetting; ++a) {
            const libusb_interface_descriptor &alt = interface.altsetting[a];
            const unsigned char desc[9] = {9,
                                           LIBUSB_DT_INTERFACE,
                                           alt.bInterfaceNumber,
                                           alt.bAlternateSetting,
                                           alt.bNumEndpoints,
                                           alt.bInterfaceClass,
                                           alt.bInterfaceSubClass,
                                           alt.bInterfaceProtocol,
                                           alt.iInterface};
            append(out, desc, sizeof desc);
            append(out, alt.extra, alt.extra_length);
            for (int e = 0; e < alt.bNumEndpoints; ++e) {
                const libusb_endpoint_descriptor &ep = alt.endpoint[e];
                const unsigned char bytes[9] = {
                    static_cast<unsigned char>(ep.bLength >= 9 ? 9 : 7),
                    LIBUSB_DT_ENDPOINT,
                    ep.bEndpointAddress,
                    ep.bmAttributes,
                    static_cast<unsigned char>(ep.wMaxPacketSize & 0xFF),
                    static_cast<unsigned char>(ep.wMaxPacketSize >> 8),
                    ep.bInterval,
                    ep.bRefresh,
                    ep.bSynchAddress};
                append(out, bytes, bytes[0]);
                append(out, ep.extra, ep.extra_length);
            }
        }
    }
    return out;
}

std::string deviceBytes(const libusb_device_descriptor &d)
{
    const unsigned char bytes[18] = {18,
                                     LIBUSB_DT_DEVICE,
                                     static_cast<unsigned char>(d.bcdUSB & 0xFF),
                                     static_cast<unsigned char>(d.bcdUSB >> 8),
                                     d.bDeviceClass,
                                     d.bDeviceSubClass,
                                     d.bDeviceProtocol,
                                     d.bMaxPacketSize0,
                                     static_cast<unsigned char>(d.idVendor & 0xFF),
                                     static_cast<unsigned char>(d.idVendor >> 8),
                                     static_cast<unsigned char>(d.idProduct & 0xFF),
                                     static_cast<unsigned char>(d.idProduct >> 8),
                                     static_cast<unsigned char>(d.bcdDevice & 0xFF),
                                     static_cast<unsigned char>(d.bcdDevice >> 8),
                                     d.iManufacturer,
                                     d.iProduct,
                                     d.iSerialNumber,
                                     d.bNumConfigurations};
    return std::string(reinterpret_cast<const char *>(bytes), sizeof bytes);
}

class LibusbDevices
{
public:
    explicit LibusbDevices(libusb_context *context)
        : m_count(libusb_get_device_list(context, &m_devices))
    {}
    ~LibusbDevices()
    {
        if (m_count >= 0)
            libusb_free_device_list(m_devices, 1);
    }
    LibusbDevices(const LibusbDevices &) = delete;
    LibusbDevices &operator=(const LibusbDevices &) = delete;

    ssize_t count() const { return m_count; }
    libusb_device *operator[](ssize_t i) const { return m_devices[i]; }

private:
    libusb_device **m_devices = nullptr;
    ssize_t m_count;
};

} // namespace

std::int32_t usbErrorOf(int libusbError)
{
    switch (libusbError) {
    case LIBUSB_ERROR_INVALID_PARAM:
        return usb_error::kInvalid;
    case LIBUSB_ERROR_ACCESS:
        return usb_error::kAccess;
    case LIBUSB_ERROR_NO_DEVICE:
        return usb_error::kNoDevice;
    case LIBUSB_ERROR_NOT_FOUND:
        return usb_error::kNoEntry;
    case LIBUSB_ERROR_BUSY:
        return usb_error::kBusy;
    case LIBUSB_ERROR_TIMEOUT:
        return usb_error::kTimedOut;
    case LIBUSB_ERROR_PIPE:
        return usb_error::kPipe;
    case LIBUSB_ERROR_INTERRUPTED:
        return usb_error::kInterrupted;
    case LIBUSB_ERROR_NO_MEM:
        return usb_error::kNoMemory;
    case LIBUSB_ERROR_NOT_SUPPORTED:
        return usb_error::kNotSupported;
    default:
        return usb_error::kIo;
    }
}

UsbHost::UsbHost()
{
    m_initError = libusb_init(&m_context);
    if (m_initError != 0)
        m_context = nullptr;
}

UsbHost::~UsbHost()
{
    for (const auto &[number, handle] : m_handles)
        libusb_close(handle);
    if (m_context)
        libusb_exit(m_context);
}

UsbAnswer UsbHost::list()
{
    UsbAnswer answer;
    const LibusbDevices devices(m_context);
    if (devices.count() < 0)
        return {usbErrorOf(static_cast<int>(devices.count())), {}, {}};
    for (ssize_t i = 0; i < devices.count(); ++i) {
        libusb_device *device = devices[i];
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0)
            continue;
        UsbDevice entry{libusb_get_bus_number(device), libusb_get_device_address(device),
                        deviceBytes(descriptor)};
        // A configuration libusb cannot read is left out, as Windows leaves
        // a device it cannot describe.
        for (std::uint8_t c = 0; c < descriptor.bNumConfigurations; ++c) {
            libusb_config_descriptor *config = nullptr;
            if (libusb_get_config_descriptor(device, c, &config) != 0)
                break;
            entry.descriptors += configurationBytes(*config);
            libusb_free_config_descriptor(config);
        }
        answer.devices.push_back(std::move(entry));
    }
    answer.result = static_cast<std::int32_t>(answer.devices.size());
    return answer;
}

UsbAnswer UsbHost::open(const UsbRequest &request)
{
    const LibusbDevices devices(m_context);
    for (ssize_t i = 0; i < devices.count(); ++i) {
        if (libusb_get_bus_number(devices[i]) != request.args[0] ||
            libusb_get_device_address(devices[i]) != request.args[1])
            continue;
        libusb_device_handle *handle = nullptr;
        if (const int error = libusb_open(devices[i], &handle); error != 0)
            return {usbErrorOf(error), {}, {}};
        // As on Windows, where libusb-win32's driver owns the device: a
        // Linux driver that took an interface gives it up while claimed.
        libusb_set_auto_detach_kernel_driver(handle, 1);
        const std::uint32_t number = m_nextHandle++;
        m_handles[number] = handle;
        return {static_cast<std::int32_t>(number), {}, {}};
    }
    return {usb_error::kNoDevice, {}, {}};
}

UsbAnswer UsbHost::transfer(libusb_device_handle *handle, const UsbRequest &request,
                            unsigned timeoutMs)
{
    // The direction bit: of the request type for a control transfer, of the
    // endpoint for the others.
    const bool in = (request.args[0] & LIBUSB_ENDPOINT_IN) != 0;
    std::string buffer = in ? std::string(request.length, '\0') : request.data;
    auto *bytes = reinterpret_cast<unsigned char *>(buffer.data());
    const int length = static_cast<int>(buffer.size());
    int done = 0;
    int error = 0;
    switch (request.op) {
    case UsbOp::Control:
        error = libusb_control_transfer(handle, static_cast<std::uint8_t>(request.args[0]),
                                        static_cast<std::uint8_t>(request.args[1]),
                                        static_cast<std::uint16_t>(request.args[2]),
                                        static_cast<std::uint16_t>(request.args[3]), bytes,
                                        static_cast<std::uint16_t>(length), timeoutMs);
        if (error >= 0) {
            done = error;
            error = 0;
        }
        break;
    case UsbOp::Bulk:
        error = libusb_bulk_transfer(handle, static_cast<unsigned char>(request.args[0]), bytes,
                                     length, &done, timeoutMs);
        break;
    default:
        error = libusb_interrupt_transfer(handle, static_cast<unsigned char>(request.args[0]),
                                          bytes, length, &done, timeoutMs);
        break;
    }
    if (error != 0)
        return {usbErrorOf(error), {}, {}};
    UsbAnswer answer{done, {}, {}};
    if (in)
        answer.data = buffer.substr(0, static_cast<std::size_t>(done));
    return answer;
}

UsbAnswer UsbHost::serve(const UsbRequest &request, Deadline deadline)
{
    if (!m_context)
        return {request.op == UsbOp::List ? 0 : usbErrorOf(m_initError), {}, {}};
    if (request.op == UsbOp::List)
        return list();
    if (request.op == UsbOp::Open)
        return open(request);
    const auto found = m_handles.find(request.handle);
    if (found == m_handles.end())
        return {usb_error::kInvalid, {}, {}};
    libusb_device_handle *handle = found->second;
    const auto now = Clock::now();
    if (deadline <= now)
        return {usb_error::kTimedOut, {}, {}};
    // Never past the call's time limit, which stands still while a window of
    // the DLL shows (a deadline of never: a day then); libusb's 0 would wait
    // for ever.
    constexpr long long kDayMs = 24LL * 60 * 60 * 1000;
    const long long left =
        deadline - now >= std::chrono::milliseconds(kDayMs)
            ? kDayMs
            : std::max<long long>(
                  1, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count());
    const auto timeoutMs = static_cast<unsigned>(
        request.timeout == 0 ? left : std::min<long long>(request.timeout, left));
    int error = 0;
    switch (request.op) {
    case UsbOp::Close:
        libusb_close(handle);
        m_handles.erase(found);
        return {};
    case UsbOp::SetConfiguration:
        error = libusb_set_configuration(handle, request.args[0]);
        break;
    case UsbOp::ClaimInterface:
        error = libusb_claim_interface(handle, request.args[0]);
        break;
    case UsbOp::ReleaseInterface:
        error = libusb_release_interface(handle, request.args[0]);
        break;
    case UsbOp::SetAltInterface:
        error = libusb_set_interface_alt_setting(handle, request.args[0], request.args[1]);
        break;
    case UsbOp::ClearHalt:
        error = libusb_clear_halt(handle, static_cast<unsigned char>(request.args[0]));
        break;
    case UsbOp::Reset:
        error = libusb_reset_device(handle);
        break;
    case UsbOp::Control:
    case UsbOp::Bulk:
    case UsbOp::Interrupt:
        return transfer(handle, request, timeoutMs);
    case UsbOp::List:
    case UsbOp::Open:
        break;
    }
    return {error == 0 ? 0 : usbErrorOf(error), {}, {}};
}

} // namespace kelrin::bridge
