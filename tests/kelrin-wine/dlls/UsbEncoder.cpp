// A card-encoder DLL for the bridge's tests that talks to an encoder with a
// driver as a maker's DLL does through libusb-win32: it imports libusb0.dll,
// finds the device by vendor and product on the busses it lists, claims its
// interface and exchanges control, bulk and interrupt transfers. The tests
// run it against the virtual encoder (tests/kelrin-wine/virtual-usb):
//   initializeUSB  finds and opens the device, checks its product string and
//                  its vendor request 01 ("KLRN")
//   ReadCard       bulk out [01], bulk in [81, N, CARD...], interrupt in [01]:
//                  the card's bytes as a hex string
//   Buzzer         vendor request 02, out
//   CardErase      (type, N, ...) makes the Nth of its bad requests below
//                  and answers what libusb0 answered; kOutside when a call
//                  wrote beyond the buffer it was given
//   GetDLLVersion  its own name
// A failed transfer answers libusb0's own negative error number; its own codes:
#define KELRIN_BUILDING_LIBRARY
#include "kelrin.h"

#include <windows.h>

#include "libusb0/usb.h"

#include <cstring>
#include <string>

namespace {

constexpr int32_t kNoDevice = -501;    // no USB device with the encoder's vendor and product
constexpr int32_t kOpenFailed = -502;  // found, but libusb0 could not open it
constexpr int32_t kWrongAnswer = -503; // the device answered something else
constexpr int32_t kNotSupported = -504;
constexpr int32_t kOutside = -599;

constexpr unsigned short kVendor = 0x1209;
constexpr unsigned short kProduct = 0x0002;
constexpr int kTimeoutMs = 60000; // longer than any call may take: the bridge bounds it

usb_dev_handle *g_device = nullptr;

struct usb_device *findEncoder()
{
    usb_init();
    usb_find_busses();
    usb_find_devices();
    for (struct usb_bus *bus = usb_get_busses(); bus; bus = bus->next) {
        for (struct usb_device *device = bus->devices; device; device = device->next) {
            if (device->descriptor.idVendor == kVendor && device->descriptor.idProduct == kProduct)
                return device;
        }
    }
    return nullptr;
}

void closeEncoder()
{
    if (g_device) {
        usb_release_interface(g_device, 0);
        usb_close(g_device);
    }
    g_device = nullptr;
}

} // namespace

int32_t KELRIN_CALL initializeUSB(uint8_t encoderType)
{
    if (encoderType != 0)
        return KELRIN_ERROR_ENCODER_TYPE;
    closeEncoder();
    struct usb_device *device = findEncoder();
    if (!device || !device->config || device->config[0].bNumInterfaces != 1 ||
        device->config[0].interface[0].altsetting[0].bNumEndpoints != 3)
        return kNoDevice;
    g_device = usb_open(device);
    if (!g_device)
        return kOpenFailed;
    int result = usb_set_configuration(g_device, 1);
    if (result == 0)
        result = usb_claim_interface(g_device, 0);
    char text[64] = {};
    if (result == 0)
        result = usb_get_string_simple(g_device, device->descriptor.iProduct, text, sizeof text);
    char proof[4] = {};
    if (result >= 0)
        result = usb_control_msg(g_device, USB_ENDPOINT_IN | USB_TYPE_VENDOR, 0x01, 0, 0, proof,
                                 sizeof proof, 1000);
    if (result < 0) {
        closeEncoder();
        return result;
    }
    if (std::strcmp(text, "USB test encoder") != 0 || std::memcmp(proof, "KLRN", 4) != 0) {
        closeEncoder();
        return kWrongAnswer;
    }
    return KELRIN_OK;
}

int32_t KELRIN_CALL CloseUSB(uint8_t)
{
    closeEncoder();
    return KELRIN_OK;
}

int32_t KELRIN_CALL Buzzer(uint8_t, int32_t ms)
{
    if (!g_device)
        return KELRIN_ERROR_NOT_OPEN;
    char length[2] = {static_cast<char>(ms & 0xFF), static_cast<char>((ms >> 8) & 0xFF)};
    const int sent = usb_control_msg(g_device, USB_ENDPOINT_OUT | USB_TYPE_VENDOR, 0x02, ms, 0,
                                     length, sizeof length, 1000);
    return sent < 0 ? sent : KELRIN_OK;
}

int32_t KELRIN_CALL ReadCard(uint8_t, char *cardHexStr)
{
    if (!cardHexStr)
        return KELRIN_ERROR_NULL_POINTER;
    cardHexStr[0] = '\0';
    if (!g_device)
        return KELRIN_ERROR_NOT_OPEN;
    char command[1] = {0x01};
    int result = usb_bulk_write(g_device, 0x01, command, sizeof command, 1000);
    if (result < 0)
        return result;
    char answer[64] = {};
    result = usb_bulk_read(g_device, 0x81, answer, sizeof answer, kTimeoutMs);
    if (result < 0)
        return result;
    if (result < 2 || static_cast<unsigned char>(answer[0]) != 0x81)
        return kWrongAnswer;
    char status[8] = {};
    const int statusResult = usb_interrupt_read(g_device, 0x82, status, sizeof status, 1000);
    if (statusResult < 0)
        return statusResult;
    if (statusResult < 1 || status[0] != 0x01)
        return kWrongAnswer;
    static const char digits[] = "0123456789ABCDEF";
    const int count = std::min<int>(static_cast<unsigned char>(answer[1]), result - 2);
    std::string hex;
    for (int i = 0; i < count && hex.size() + 2 < KELRIN_CARD_HEX_SIZE; ++i) {
        hex += digits[static_cast<unsigned char>(answer[2 + i]) >> 4];
        hex += digits[answer[2 + i] & 0xF];
    }
    std::memcpy(cardHexStr, hex.c_str(), hex.size() + 1);
    return KELRIN_OK;
}

namespace {

// What a DLL may ask that it should not; each answers libusb0's own code.
int32_t badRequest(int32_t which)
{
    char buffer[8] = {};
    switch (which) {
    case 0: // a negative length
        return usb_bulk_read(g_device, 0x81, buffer, -1, 100);
    case 1: // no buffer
        return usb_bulk_read(g_device, 0x81, nullptr, 8, 100);
    case 2: // no device
        return usb_bulk_write(nullptr, 0x01, buffer, 1, 100);
    case 3: // an endpoint the device does not have
        return usb_bulk_read(g_device, 0x85, buffer, 8, 100);
    case 4: // an interface the device does not have
        return usb_claim_interface(g_device, 3);
    case 5: { // a control transfer longer than one can be
        std::string large(70000, '\0');
        return usb_control_msg(g_device, USB_ENDPOINT_IN | USB_TYPE_VENDOR, 0x01, 0, 0,
                               large.data(), static_cast<int>(large.size()), 100);
    }
    case 6: // a string into no room
        return usb_get_string_simple(g_device, 2, buffer, 0);
    case 7: // a string the device does not have: it stalls
        return usb_get_string_simple(g_device, 9, buffer, sizeof buffer);
    case 8: { // an answer longer than the buffer: 3 bytes, and a guard behind them
        char command[1] = {0x01};
        usb_bulk_write(g_device, 0x01, command, 1, 1000);
        std::memset(buffer, 0x5A, sizeof buffer);
        const int read = usb_bulk_read(g_device, 0x81, buffer, 3, 1000);
        for (std::size_t i = 3; i < sizeof buffer; ++i) {
            if (buffer[i] != 0x5A)
                return kOutside;
        }
        return read;
    }
    case 9: { // an alternate setting with no interface claimed
        usb_release_interface(g_device, 0);
        const int result = usb_set_altinterface(g_device, 0);
        usb_claim_interface(g_device, 0);
        return result;
    }
    case 10: // no device to open
        return usb_open(nullptr) ? 0 : -22;
    case 11: // nothing to free
        return usb_free_async(nullptr);
    default:
        return kNotSupported;
    }
}

} // namespace

int32_t KELRIN_CALL CardErase(uint8_t, int32_t which, char *)
{
    if (!g_device)
        return KELRIN_ERROR_NOT_OPEN;
    return badRequest(which);
}

#define KELRIN_TEST_OWN_CARDERASE
#include "OtherFunctions.h"

int32_t KELRIN_CALL GetDLLVersion(char *versionText)
{
    if (!versionText)
        return KELRIN_ERROR_NULL_POINTER;
    std::strcpy(versionText, "USB test encoder 1");
    return KELRIN_OK;
}
