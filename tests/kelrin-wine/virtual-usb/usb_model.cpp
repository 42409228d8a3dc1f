#include "usb_model.h"

#include <umockdev.h>

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace kelrin::test {

namespace {

// Device 1209:0002, one configuration of one vendor interface, three endpoints.
constexpr const char *kDescriptors = "120100020000004009120200000101020001" // device
                                     "090227000101008032"                   // configuration 1
                                     "0904000003ff000000"                   // interface 0
                                     "07050102400000"                       // bulk out 01
                                     "07058102400000"                       // bulk in 81
                                     "0705820308000a";                      // interrupt in 82
constexpr const char *kNode = "/dev/bus/usb/001/002";

std::string stringDescriptor(const std::u16string &text)
{
    std::string out{static_cast<char>(2 + 2 * text.size()), 3};
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

} // namespace

struct UsbModel::State
{
    UMockdevTestbed *testbed = nullptr;
    UMockdevIoctlBase *handler = nullptr;

    mutable std::mutex mutex;
    std::string card = std::string("\x01\x02\x03\x04", 4);
    Fault fault = Fault::None;
    int buzzes = 0;
    bool gone = false;
    bool cardAsked = false;
    // The URBs the model holds a reference to: submitted and waiting for it,
    // or ended and waiting to be reaped.
    std::vector<UMockdevIoctlData *> flying;
    std::deque<UMockdevIoctlData *> done;

    // Ends an URB with `status` and, for an in transfer, `answer`.
    void finish(UMockdevIoctlData *urbData, int status, const std::string &answer)
    {
        auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
        urb->status = status;
        const bool control = urb->type == USBDEVFS_URB_TYPE_CONTROL;
        const std::size_t room = static_cast<std::size_t>(urb->buffer_length) - (control ? 8 : 0);
        const std::size_t count = std::min(room, answer.size());
        std::memcpy(static_cast<char *>(urb->buffer) + (control ? 8 : 0), answer.data(), count);
        urb->actual_length = static_cast<int>(count);
        if (answer.size() > room && status == 0)
            urb->status = -EOVERFLOW; // as the kernel ends a read the device overran
        done.push_back(urbData);
    }

    void cardAnswers()
    {
        for (auto it = flying.begin(); it != flying.end();) {
            auto *urb = reinterpret_cast<usbdevfs_urb *>((*it)->data);
            if (urb->endpoint == 0x81 && cardAsked) {
                std::string answer{'\x81', static_cast<char>(card.size())};
                finish(*it, 0, answer + card);
                cardAsked = false;
                it = flying.erase(it);
            } else if (urb->endpoint == 0x82) {
                finish(*it, 0, "\x01");
                it = flying.erase(it);
            } else {
                ++it;
            }
        }
    }

    void submit(UMockdevIoctlData *urbData)
    {
        auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
        const auto *bytes = static_cast<const unsigned char *>(urb->buffer);
        if (urb->type == USBDEVFS_URB_TYPE_CONTROL) {
            const int type = bytes[0], request = bytes[1], value = bytes[2] | (bytes[3] << 8);
            if (type == 0xC0 && request == 0x01)
                return finish(urbData, 0, "KLRN");
            if (type == 0x40 && request == 0x02) {
                ++buzzes;
                return finish(urbData, 0, {});
            }
            if (type == 0x80 && request == 0x06 && (value >> 8) == 3) {
                const int index = value & 0xFF;
                const std::string answer = index == 0   ? std::string("\x04\x03\x09\x04", 4)
                                           : index == 1 ? stringDescriptor(u"Kelrin")
                                           : index == 2 ? stringDescriptor(u"USB test encoder")
                                                        : std::string();
                return finish(urbData, answer.empty() ? -EPIPE : 0, answer);
            }
            return finish(urbData, -EPIPE, {});
        }
        if (urb->endpoint == 0x01) {
            cardAsked = urb->buffer_length >= 1 && bytes[0] == 0x01;
            return finish(urbData, 0, {});
        }
        if (urb->endpoint == 0x81 && cardAsked && fault == Fault::Stall) {
            cardAsked = false;
            return finish(urbData, -EPIPE, {});
        }
        if (urb->endpoint == 0x81 && cardAsked && fault == Fault::Gone) {
            gone = true;
            return finish(urbData, -ENODEV, {});
        }
        flying.push_back(urbData);
        if (fault != Fault::Silent)
            cardAnswers();
    }

    static gboolean onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer self)
    {
        auto &state = *static_cast<State *>(self);
        const std::lock_guard lock(state.mutex);
        UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
        const gulong request = umockdev_ioctl_client_get_request(client);
        if (state.gone && request != USBDEVFS_REAPURBNDELAY && request != USBDEVFS_REAPURB) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return TRUE;
        }
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
            *reinterpret_cast<guint32 *>(caps->data) = USBDEVFS_CAP_BULK_CONTINUATION |
                                                       USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                                       USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
            umockdev_ioctl_client_complete(client, 0, 0);
            umockdev_ioctl_data_unref(caps);
            return TRUE;
        }
        case USBDEVFS_GETDRIVER:
            umockdev_ioctl_client_complete(client, -1, ENODATA); // no Linux driver took it
            return TRUE;
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM: {
            // Both begin with the interface's number; the device has only 0.
            UMockdevIoctlData *number =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(unsigned), nullptr);
            const unsigned interface = *reinterpret_cast<unsigned *>(number->data);
            umockdev_ioctl_data_unref(number);
            umockdev_ioctl_client_complete(client, interface == 0 ? 0 : -1,
                                           interface == 0 ? 0 : ENOENT);
            return TRUE;
        }
        case USBDEVFS_RELEASEINTERFACE:
        case USBDEVFS_SETINTERFACE:
        case USBDEVFS_SETCONFIGURATION:
        case USBDEVFS_CLEAR_HALT:
        case USBDEVFS_RESET:
        case USBDEVFS_RESETEP:
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        case USBDEVFS_SUBMITURB: {
            UMockdevIoctlData *urbData =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
            auto *urb = reinterpret_cast<usbdevfs_urb *>(urbData->data);
            if (urb->endpoint != 0x00 && urb->endpoint != 0x80 && urb->endpoint != 0x01 &&
                urb->endpoint != 0x81 && urb->endpoint != 0x82) {
                umockdev_ioctl_data_unref(urbData);
                umockdev_ioctl_client_complete(client, -1, ENOENT); // no such endpoint
                return TRUE;
            }
            // The buffer, copied here; its parent keeps it.
            umockdev_ioctl_data_unref(
                umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                            static_cast<gsize>(urb->buffer_length), nullptr));
            state.submit(urbData);
            umockdev_ioctl_client_complete(client, 0, 0);
            return TRUE;
        }
        case USBDEVFS_REAPURB:
        case USBDEVFS_REAPURBNDELAY: {
            if (state.done.empty()) {
                umockdev_ioctl_client_complete(client, -1, state.gone ? ENODEV : EAGAIN);
                return TRUE;
            }
            UMockdevIoctlData *urbData = state.done.front();
            state.done.pop_front();
            UMockdevIoctlData *pointer =
                umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
            umockdev_ioctl_data_set_ptr(pointer, 0, urbData);
            umockdev_ioctl_client_complete(client, 0, 0);
            umockdev_ioctl_data_unref(pointer);
            umockdev_ioctl_data_unref(urbData);
            return TRUE;
        }
        case USBDEVFS_DISCARDURB: {
            const gulong address = *reinterpret_cast<gulong *>(arg->data);
            for (auto it = state.flying.begin(); it != state.flying.end(); ++it) {
                if ((*it)->client_addr == address) {
                    state.finish(*it, -ENOENT, {});
                    state.flying.erase(it);
                    umockdev_ioctl_client_complete(client, 0, 0);
                    return TRUE;
                }
            }
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return TRUE;
        }
        default:
            return FALSE;
        }
    }
};

UsbModel::UsbModel(bool wholeDescriptors) : m_state(std::make_unique<State>())
{
    m_state->testbed = umockdev_testbed_new();
    m_state->handler = umockdev_ioctl_base_new();
    g_signal_connect_after(m_state->handler, "handle-ioctl", G_CALLBACK(State::onIoctl),
                           m_state.get());
    if (!umockdev_testbed_attach_ioctl(m_state->testbed, kNode, m_state->handler, nullptr))
        throw std::runtime_error("umockdev could not attach the model's ioctl handler");
    const std::string device =
        std::string("P: /devices/usb1/1-1\n"
                    "N: bus/usb/001/002\n"
                    "E: SUBSYSTEM=usb\n"
                    "E: DEVTYPE=usb_device\n"
                    "E: BUSNUM=001\n"
                    "E: DEVNUM=002\n"
                    "E: DEVNAME=") +
        kNode +
        "\n"
        "A: busnum=1\\n\n"
        "A: devnum=2\\n\n"
        "A: bConfigurationValue=1\\n\n"
        "A: speed=12\\n\n"
        "H: descriptors=" +
        std::string(kDescriptors).substr(0, wholeDescriptors ? std::string::npos : 2 * (18 + 12)) +
        "\n";
    if (!umockdev_testbed_add_from_string(m_state->testbed, device.c_str(), nullptr))
        throw std::runtime_error("umockdev could not add the model's device");
}

UsbModel::~UsbModel()
{
    for (UMockdevIoctlData *urb : m_state->flying)
        umockdev_ioctl_data_unref(urb);
    for (UMockdevIoctlData *urb : m_state->done)
        umockdev_ioctl_data_unref(urb);
    g_clear_object(&m_state->handler);
    g_clear_object(&m_state->testbed);
}

void UsbModel::setCard(const std::string &bytes)
{
    const std::lock_guard lock(m_state->mutex);
    m_state->card = bytes;
}

void UsbModel::setFault(Fault fault)
{
    const std::lock_guard lock(m_state->mutex);
    m_state->fault = fault;
}

int UsbModel::buzzes() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->buzzes;
}

} // namespace kelrin::test
