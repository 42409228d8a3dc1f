// libusb0.dll for the maker's DLL under Wine, which has none and can run no
// Windows USB driver: the libusb-win32 API over Linux's own USB stack. Each
// request goes through the helper that loaded this DLL to the bridge, whose
// Linux libusb carries it out on /dev/bus/usb (usb_host.cpp) within the
// call's time limit. Loaded anywhere else, it finds no devices.
//
// As on Windows, every device is on one bus, "bus-0". The asynchronous calls
// carry out their transfer when it is reaped: the DLL waits there anyway.
#define KELRIN_BUILDING_LIBUSB0
#include <windows.h>

#include "libusb0/usb.h"
#include "protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace kb = kelrin::bridge;
namespace ue = kelrin::bridge::usb_error;

struct usb_dev_handle
{
    std::uint32_t number = 0;
    struct usb_device *device = nullptr;
    int interface = -1; // the claimed one, for usb_set_altinterface
};

namespace {

std::mutex g_mutex; // the busses and devices
char g_error[512] = "";

int fail(const char *function, int code)
{
    const char *what = code == ue::kTimedOut   ? "timeout"
                       : code == ue::kNoDevice ? "device not present"
                       : code == ue::kPipe     ? "endpoint stalled"
                       : code == ue::kAccess   ? "access denied"
                       : code == ue::kInvalid  ? "invalid argument"
                       : code == ue::kNoEntry  ? "no such interface or endpoint"
                       : code == ue::kBusy     ? "device busy"
                       : code == ue::kNoMemory ? "out of memory"
                                               : "input/output error";
    std::snprintf(g_error, sizeof g_error, "%s: %s (%d)", function, what, code);
    return code;
}

using Exchange = int (*)(const char *, unsigned, void (*)(void *, const char *, unsigned), void *);

void keep(void *context, const char *payload, unsigned length)
{
    static_cast<std::string *>(context)->assign(payload, length);
}

kb::UsbAnswer ask(const kb::UsbRequest &request)
{
    static const auto exchange = reinterpret_cast<Exchange>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(nullptr), "kelrin_usb_exchange")));
    if (!exchange)
        return {ue::kNoDevice, {}, {}};
    try {
        const std::string frame = kb::encodeUsb(request);
        std::string payload;
        if (exchange(frame.data(), static_cast<unsigned>(frame.size()), keep, &payload) != 0)
            return {ue::kNoDevice, {}, {}};
        return kb::decodeUsbAnswer(payload);
    } catch (const kb::ProtocolError &) {
        return {ue::kIo, {}, {}};
    } catch (const std::bad_alloc &) {
        return {ue::kNoMemory, {}, {}};
    }
}

// Descriptors, parsed into libusb-win32's structures; they live as long as
// the device is listed, and past that (a handle may point at them).
class Parser
{
public:
    explicit Parser(const std::string &bytes) : m_bytes(bytes) {}

    bool device(usb_device_descriptor &out)
    {
        if (m_bytes.size() < 18 || static_cast<unsigned char>(m_bytes[1]) != USB_DT_DEVICE)
            return false;
        std::memcpy(&out, m_bytes.data(), sizeof out);
        m_at = static_cast<unsigned char>(m_bytes[0]) < 18 ? 18 : m_bytes[0];
        return true;
    }

    // The next configuration, or nothing once none is left whole.
    bool configuration(usb_config_descriptor &out)
    {
        const std::size_t start = m_at;
        if (!header(USB_DT_CONFIG, 9))
            return false;
        std::memcpy(&out, at(start), 9);
        const std::size_t end = std::min(m_bytes.size(), start + out.wTotalLength);
        m_at = start + length(start);
        extra(end, out.extra, out.extralen);
        std::vector<usb_interface> interfaces(out.bNumInterfaces);
        for (usb_interface &interface : interfaces) {
            std::vector<usb_interface_descriptor> alts;
            while (m_at + 9 <= end && type(m_at) == USB_DT_INTERFACE &&
                   (alts.empty() || byteAt(m_at + 2) == alts.front().bInterfaceNumber)) {
                usb_interface_descriptor alt{};
                std::memcpy(&alt, at(m_at), 9);
                m_at += length(m_at);
                extra(end, alt.extra, alt.extralen);
                std::vector<usb_endpoint_descriptor> endpoints;
                for (int e = 0;
                     e < alt.bNumEndpoints && m_at + 7 <= end && type(m_at) == USB_DT_ENDPOINT;
                     ++e) {
                    usb_endpoint_descriptor ep{};
                    std::memcpy(&ep, at(m_at), std::min<std::size_t>(length(m_at), 9));
                    m_at += length(m_at);
                    extra(end, ep.extra, ep.extralen);
                    endpoints.push_back(ep);
                }
                alt.bNumEndpoints = static_cast<unsigned char>(endpoints.size());
                alt.endpoint = copy(endpoints);
                alts.push_back(alt);
            }
            interface.num_altsetting = static_cast<int>(alts.size());
            interface.altsetting = copy(alts);
        }
        out.interface = copy(interfaces);
        m_at = end;
        return true;
    }

private:
    template <class T> static T *copy(const std::vector<T> &items)
    {
        if (items.empty())
            return nullptr;
        T *out = new T[items.size()];
        std::copy(items.begin(), items.end(), out);
        return out;
    }
    const char *at(std::size_t i) const { return m_bytes.data() + i; }
    unsigned char byteAt(std::size_t i) const { return static_cast<unsigned char>(m_bytes[i]); }
    unsigned char type(std::size_t i) const { return byteAt(i + 1); }
    // A descriptor's length, never less than 2, so that walking ends.
    std::size_t length(std::size_t i) const { return std::max<std::size_t>(byteAt(i), 2); }
    bool header(unsigned char kind, std::size_t size) const
    {
        return m_at + size <= m_bytes.size() && type(m_at) == kind && byteAt(m_at) >= size;
    }
    // Descriptors of other kinds up to the next interface or endpoint.
    void extra(std::size_t end, unsigned char *&out, int &count)
    {
        const std::size_t start = m_at;
        while (m_at + 2 <= end && type(m_at) != USB_DT_INTERFACE && type(m_at) != USB_DT_ENDPOINT)
            m_at += length(m_at);
        m_at = std::min(m_at, end);
        count = static_cast<int>(m_at - start);
        out = count > 0 ? new unsigned char[count] : nullptr;
        if (count > 0)
            std::memcpy(out, at(start), static_cast<std::size_t>(count));
    }

    const std::string &m_bytes;
    std::size_t m_at = 0;
};

struct Place
{
    std::uint8_t bus;
    std::uint8_t address;
};

usb_bus g_bus{};
bool g_busFound = false;

Place placeOf(const struct usb_device *device)
{
    Place place{};
    std::memcpy(&place, &device->dev, sizeof place);
    return place;
}

using Device = struct usb_device;

Device *describe(const kb::UsbDevice &listed, int number)
{
    Parser parser(listed.descriptors);
    auto *device = new Device{};
    if (!parser.device(device->descriptor)) {
        delete device;
        return nullptr;
    }
    std::vector<usb_config_descriptor> configs;
    usb_config_descriptor config{};
    while (configs.size() < device->descriptor.bNumConfigurations && parser.configuration(config))
        configs.push_back(config);
    device->descriptor.bNumConfigurations = static_cast<unsigned char>(configs.size());
    if (!configs.empty()) {
        device->config = new usb_config_descriptor[configs.size()];
        std::copy(configs.begin(), configs.end(), device->config);
    }
    std::snprintf(device->filename, sizeof device->filename, "\\\\.\\libusb0-%04d--0x%04x-0x%04x",
                  number, device->descriptor.idVendor, device->descriptor.idProduct);
    device->bus = &g_bus;
    device->devnum = listed.address;
    const Place place{listed.bus, listed.address};
    std::memcpy(&device->dev, &place, sizeof place);
    return device;
}

bool valid(usb_dev_handle *dev, int size, const void *bytes)
{
    return dev && size >= 0 && (size == 0 || bytes) &&
           static_cast<std::size_t>(size) <= kb::kMaxUsbTransfer;
}

int simple(const char *function, usb_dev_handle *dev, kb::UsbOp op, int a = 0, int b = 0)
{
    if (!dev)
        return fail(function, ue::kInvalid);
    kb::UsbRequest request;
    request.op = op;
    request.handle = dev->number;
    request.args = {a, b, 0, 0};
    const kb::UsbAnswer answer = ask(request);
    return answer.result < 0 ? fail(function, answer.result) : 0;
}

// A transfer: out when the direction bit of `direction` is clear, else in,
// into `bytes`.
int transfer(const char *function, kb::UsbRequest request, int direction, char *bytes, int size,
             int timeout)
{
    if ((direction & USB_ENDPOINT_IN) != 0)
        request.length = static_cast<std::uint32_t>(size);
    else
        request.data.assign(bytes ? bytes : "", bytes ? static_cast<std::size_t>(size) : 0);
    request.timeout = timeout > 0 ? static_cast<std::uint32_t>(timeout) : 0;
    const kb::UsbAnswer answer = ask(request);
    if (answer.result < 0)
        return fail(function, answer.result);
    if ((direction & USB_ENDPOINT_IN) != 0) {
        const std::size_t count = std::min(answer.data.size(), static_cast<std::size_t>(size));
        if (count > 0)
            std::memcpy(bytes, answer.data.data(), count);
        return static_cast<int>(count);
    }
    return answer.result;
}

int endpointTransfer(const char *function, kb::UsbOp op, usb_dev_handle *dev, int ep, char *bytes,
                     int size, int timeout)
{
    if (!valid(dev, size, bytes))
        return fail(function, ue::kInvalid);
    kb::UsbRequest request;
    request.op = op;
    request.handle = dev->number;
    request.args = {ep & 0xFF, 0, 0, 0};
    return transfer(function, request, ep, bytes, size, timeout);
}

struct Async
{
    usb_dev_handle *dev;
    kb::UsbOp op;
    unsigned char ep;
    char *bytes = nullptr;
    int size = 0;
    bool submitted = false;
};

int setupAsync(usb_dev_handle *dev, void **context, unsigned char ep, kb::UsbOp op)
{
    if (!dev || !context)
        return fail("usb_setup_async", ue::kInvalid);
    *context = new Async{dev, op, ep};
    return 0;
}

int reap(void *context, int timeout)
{
    auto *async = static_cast<Async *>(context);
    if (!async || !async->submitted)
        return fail("usb_reap_async", ue::kInvalid);
    async->submitted = false;
    return endpointTransfer("usb_reap_async", async->op, async->dev, async->ep, async->bytes,
                            async->size, timeout);
}

} // namespace

extern "C" {

void usb_init(void) {}

void usb_set_debug(int) {}

int usb_find_busses(void)
{
    const std::lock_guard lock(g_mutex);
    if (g_busFound)
        return 0;
    std::snprintf(g_bus.dirname, sizeof g_bus.dirname, "bus-0");
    g_busFound = true;
    return 1;
}

// Devices still present keep their structures; new ones are added, gone
// ones taken out of the list (not freed: a handle may still point at one).
int usb_find_devices(void)
{
    kb::UsbRequest request;
    request.op = kb::UsbOp::List;
    const kb::UsbAnswer answer = ask(request);
    if (answer.result < 0)
        return fail("usb_find_devices", answer.result);
    const std::lock_guard lock(g_mutex);
    if (!g_busFound)
        return 0;
    int changes = 0;
    std::vector<struct usb_device *> kept;
    for (struct usb_device *d = g_bus.devices; d; d = d->next) {
        const Place place = placeOf(d);
        const bool present =
            std::any_of(answer.devices.begin(), answer.devices.end(), [&](const auto &listed) {
                return listed.bus == place.bus && listed.address == place.address;
            });
        if (present)
            kept.push_back(d);
        else
            ++changes;
    }
    for (const kb::UsbDevice &listed : answer.devices) {
        const bool known = std::any_of(kept.begin(), kept.end(), [&](const struct usb_device *d) {
            const Place place = placeOf(d);
            return listed.bus == place.bus && listed.address == place.address;
        });
        if (known)
            continue;
        if (struct usb_device *device = describe(listed, static_cast<int>(kept.size()) + 1)) {
            kept.push_back(device);
            ++changes;
        }
    }
    struct usb_device *previous = nullptr;
    g_bus.devices = kept.empty() ? nullptr : kept.front();
    for (struct usb_device *d : kept) {
        d->prev = previous;
        d->next = nullptr;
        if (previous)
            previous->next = d;
        previous = d;
    }
    return changes;
}

struct usb_bus *usb_get_busses(void)
{
    const std::lock_guard lock(g_mutex);
    return g_busFound ? &g_bus : nullptr;
}

usb_dev_handle *usb_open(struct usb_device *dev)
{
    if (!dev) {
        fail("usb_open", ue::kInvalid);
        return nullptr;
    }
    const Place place = placeOf(dev);
    kb::UsbRequest request;
    request.op = kb::UsbOp::Open;
    request.args = {place.bus, place.address, 0, 0};
    const kb::UsbAnswer answer = ask(request);
    if (answer.result <= 0) {
        fail("usb_open", answer.result < 0 ? answer.result : ue::kIo);
        return nullptr;
    }
    return new usb_dev_handle{static_cast<std::uint32_t>(answer.result), dev, -1};
}

int usb_close(usb_dev_handle *dev)
{
    if (!dev)
        return fail("usb_close", ue::kInvalid);
    const int result = simple("usb_close", dev, kb::UsbOp::Close);
    delete dev;
    return result;
}

struct usb_device *usb_device(usb_dev_handle *dev)
{
    return dev ? dev->device : nullptr;
}

int usb_set_configuration(usb_dev_handle *dev, int configuration)
{
    return simple("usb_set_configuration", dev, kb::UsbOp::SetConfiguration, configuration);
}

int usb_claim_interface(usb_dev_handle *dev, int interface)
{
    const int result = simple("usb_claim_interface", dev, kb::UsbOp::ClaimInterface, interface);
    if (result == 0)
        dev->interface = interface;
    return result;
}

int usb_release_interface(usb_dev_handle *dev, int interface)
{
    const int result = simple("usb_release_interface", dev, kb::UsbOp::ReleaseInterface, interface);
    if (result == 0 && dev->interface == interface)
        dev->interface = -1;
    return result;
}

int usb_set_altinterface(usb_dev_handle *dev, int alternate)
{
    if (dev && dev->interface < 0)
        return fail("usb_set_altinterface", ue::kInvalid); // no interface claimed
    return simple("usb_set_altinterface", dev, kb::UsbOp::SetAltInterface, dev ? dev->interface : 0,
                  alternate);
}

int usb_clear_halt(usb_dev_handle *dev, unsigned int ep)
{
    return simple("usb_clear_halt", dev, kb::UsbOp::ClearHalt, static_cast<int>(ep & 0xFF));
}

int usb_resetep(usb_dev_handle *dev, unsigned int ep)
{
    return usb_clear_halt(dev, ep);
}

int usb_reset(usb_dev_handle *dev)
{
    return simple("usb_reset", dev, kb::UsbOp::Reset);
}

int usb_reset_ex(usb_dev_handle *dev, unsigned int)
{
    return usb_reset(dev);
}

int usb_control_msg(usb_dev_handle *dev, int requesttype, int request, int value, int index,
                    char *bytes, int size, int timeout)
{
    if (!valid(dev, size, bytes) || size > 0xFFFF)
        return fail("usb_control_msg", ue::kInvalid);
    kb::UsbRequest message;
    message.op = kb::UsbOp::Control;
    message.handle = dev->number;
    message.args = {requesttype & 0xFF, request & 0xFF, value & 0xFFFF, index & 0xFFFF};
    return transfer("usb_control_msg", message, requesttype, bytes, size, timeout);
}

int usb_get_descriptor_by_endpoint(usb_dev_handle *dev, int ep, unsigned char type,
                                   unsigned char index, void *buf, int size)
{
    return usb_control_msg(dev, USB_ENDPOINT_IN | USB_RECIP_DEVICE, USB_REQ_GET_DESCRIPTOR,
                           (type << 8) | index, ep, static_cast<char *>(buf), size, 1000);
}

int usb_get_descriptor(usb_dev_handle *dev, unsigned char type, unsigned char index, void *buf,
                       int size)
{
    return usb_get_descriptor_by_endpoint(dev, 0, type, index, buf, size);
}

int usb_get_string(usb_dev_handle *dev, int index, int langid, char *buf, size_t buflen)
{
    return usb_control_msg(dev, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR,
                           (USB_DT_STRING << 8) | (index & 0xFF), langid, buf,
                           static_cast<int>(std::min<size_t>(buflen, 255)), 1000);
}

// The string in the device's first language, each character outside ASCII
// as '?', ending in a NUL inside `buf`.
int usb_get_string_simple(usb_dev_handle *dev, int index, char *buf, size_t buflen)
{
    if (!dev || !buf || buflen == 0)
        return fail("usb_get_string_simple", ue::kInvalid);
    char languages[255];
    int got = usb_get_string(dev, 0, 0, languages, sizeof languages);
    if (got < 0)
        return got;
    if (got < 4 || languages[1] != USB_DT_STRING)
        return fail("usb_get_string_simple", ue::kIo);
    const int langid =
        static_cast<unsigned char>(languages[2]) | (static_cast<unsigned char>(languages[3]) << 8);
    char text[255];
    got = usb_get_string(dev, index, langid, text, sizeof text);
    if (got < 0)
        return got;
    if (got < 2 || text[1] != USB_DT_STRING)
        return fail("usb_get_string_simple", ue::kIo);
    const int length = std::min<int>(static_cast<unsigned char>(text[0]), got);
    size_t out = 0;
    for (int i = 2; i + 1 < length && out + 1 < buflen; i += 2)
        buf[out++] = text[i + 1] != 0 || (text[i] & 0x80) ? '?' : text[i];
    buf[out] = '\0';
    return static_cast<int>(out);
}

int usb_bulk_write(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout)
{
    return endpointTransfer("usb_bulk_write", kb::UsbOp::Bulk, dev, ep & ~USB_ENDPOINT_IN, bytes,
                            size, timeout);
}

int usb_bulk_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout)
{
    return endpointTransfer("usb_bulk_read", kb::UsbOp::Bulk, dev, ep | USB_ENDPOINT_IN, bytes,
                            size, timeout);
}

int usb_interrupt_write(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout)
{
    return endpointTransfer("usb_interrupt_write", kb::UsbOp::Interrupt, dev, ep & ~USB_ENDPOINT_IN,
                            bytes, size, timeout);
}

int usb_interrupt_read(usb_dev_handle *dev, int ep, char *bytes, int size, int timeout)
{
    return endpointTransfer("usb_interrupt_read", kb::UsbOp::Interrupt, dev, ep | USB_ENDPOINT_IN,
                            bytes, size, timeout);
}

char *usb_strerror(void)
{
    return g_error;
}

const struct usb_version *usb_get_version(void)
{
    static const usb_version version{{1, 2, 6, 0}, {1, 2, 6, 0}};
    return &version;
}

int usb_isochronous_setup_async(usb_dev_handle *, void **, unsigned char, int)
{
    return fail("usb_isochronous_setup_async", ue::kNotSupported);
}

int usb_bulk_setup_async(usb_dev_handle *dev, void **context, unsigned char ep)
{
    return setupAsync(dev, context, ep, kb::UsbOp::Bulk);
}

int usb_interrupt_setup_async(usb_dev_handle *dev, void **context, unsigned char ep)
{
    return setupAsync(dev, context, ep, kb::UsbOp::Interrupt);
}

int usb_submit_async(void *context, char *bytes, int size)
{
    auto *async = static_cast<Async *>(context);
    if (!async || !valid(async->dev, size, bytes))
        return fail("usb_submit_async", ue::kInvalid);
    async->bytes = bytes;
    async->size = size;
    async->submitted = true;
    return 0;
}

int usb_reap_async(void *context, int timeout)
{
    return reap(context, timeout);
}

int usb_reap_async_nocancel(void *context, int timeout)
{
    return reap(context, timeout);
}

int usb_cancel_async(void *context)
{
    if (!context)
        return fail("usb_cancel_async", ue::kInvalid);
    static_cast<Async *>(context)->submitted = false;
    return 0;
}

int usb_free_async(void **context)
{
    if (!context || !*context)
        return fail("usb_free_async", ue::kInvalid);
    delete static_cast<Async *>(*context);
    *context = nullptr;
    return 0;
}

} // extern "C"
