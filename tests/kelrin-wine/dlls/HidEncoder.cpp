// A card-encoder DLL for the bridge's tests that talks to a driverless USB
// encoder as a maker's DLL does: it finds the device by vendor and product
// through setupapi and hid.dll (the HID interface class, HidD_GetAttributes),
// opens its path with CreateFile and exchanges reports. The tests run it
// against the virtual encoder (tests/kelrin-wine/virtual-hid), whose model it
// speaks to:
//   initializeUSB  finds and opens the device, sets a feature report and
//                  reads it back (the model answers it with the first byte | 0x80)
//   ReadCard       output report 01, input report 81 NN CARD...: the card's
//                  bytes as a hex string
//   Buzzer         output report 02, input report 82 00
//   GetDLLVersion  its own name
// Every other function answers kNotSupported. Its own codes:
#define KELRIN_BUILDING_LIBRARY
#include "kelrin.h"

#include <windows.h>

#include <setupapi.h>
// mingw-w64's hidsdi.h declares hid.dll's functions without C linkage.
extern "C" {
#include <hidsdi.h>
}

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int32_t kNoDevice = -401;     // no HID device with the encoder's vendor and product
constexpr int32_t kDeviceFailed = -402; // a report could not be sent or read
constexpr int32_t kWrongAnswer = -403;  // the device answered something else
constexpr int32_t kNotSupported = -404;

constexpr USHORT kVendor = 0x1209;
constexpr USHORT kProduct = 0x0001;
// Reports as Windows passes them: the report ID (0: unnumbered) in front.
constexpr DWORD kReportBytes = 65;
constexpr ULONG kFeatureBytes = 9;

HANDLE g_device = INVALID_HANDLE_VALUE;

class DeviceList
{
public:
    DeviceList(const GUID &guid)
        : m_set(
              SetupDiGetClassDevsW(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE))
    {}
    ~DeviceList()
    {
        if (m_set != INVALID_HANDLE_VALUE)
            SetupDiDestroyDeviceInfoList(m_set);
    }
    DeviceList(const DeviceList &) = delete;
    DeviceList &operator=(const DeviceList &) = delete;

    // The path of the interface at `index`; false past the last one.
    bool path(const GUID &guid, DWORD index, std::wstring &path) const
    {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (m_set == INVALID_HANDLE_VALUE ||
            !SetupDiEnumDeviceInterfaces(m_set, nullptr, &guid, index, &data))
            return false;
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(m_set, &data, nullptr, 0, &size, nullptr);
        std::vector<char> buffer(size + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
        detail->cbSize = sizeof *detail;
        path.clear();
        if (SetupDiGetDeviceInterfaceDetailW(m_set, &data, detail, size, nullptr, nullptr))
            path = detail->DevicePath;
        return true;
    }

private:
    HDEVINFO m_set;
};

HANDLE openEncoder()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    const DeviceList devices(guid);
    std::wstring path;
    for (DWORD i = 0; devices.path(guid, i, path); ++i) {
        if (path.empty())
            continue;
        // Opened for its attributes alone, as a keyboard's would be.
        const HANDLE probe = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE)
            continue;
        HIDD_ATTRIBUTES attributes{};
        attributes.Size = sizeof attributes;
        const bool ours = HidD_GetAttributes(probe, &attributes) &&
                          attributes.VendorID == kVendor && attributes.ProductID == kProduct;
        CloseHandle(probe);
        if (ours)
            return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr);
    }
    return INVALID_HANDLE_VALUE;
}

// One request and its answer: an output report, then the next input report.
int32_t exchange(uint8_t command, uint8_t answer, std::vector<uint8_t> &input)
{
    std::vector<uint8_t> output(kReportBytes, 0);
    output[1] = command;
    DWORD count = 0;
    if (!WriteFile(g_device, output.data(), kReportBytes, &count, nullptr))
        return kDeviceFailed;
    input.assign(kReportBytes, 0);
    if (!ReadFile(g_device, input.data(), kReportBytes, &count, nullptr) || count < 3)
        return kDeviceFailed;
    return input[1] == answer ? KELRIN_OK : kWrongAnswer;
}

void closeEncoder()
{
    if (g_device != INVALID_HANDLE_VALUE)
        CloseHandle(g_device);
    g_device = INVALID_HANDLE_VALUE;
}

} // namespace

int32_t KELRIN_CALL initializeUSB(uint8_t encoderType)
{
    if (encoderType != 1)
        return KELRIN_ERROR_ENCODER_TYPE;
    closeEncoder();
    g_device = openEncoder();
    if (g_device == INVALID_HANDLE_VALUE)
        return kNoDevice;
    // The device proves itself: what is set comes back, marked.
    uint8_t set[kFeatureBytes] = {0, 0x10, 'K', 'e', 'l', 'r', 'i', 'n', 0};
    uint8_t got[kFeatureBytes] = {};
    if (!HidD_SetFeature(g_device, set, kFeatureBytes) ||
        !HidD_GetFeature(g_device, got, kFeatureBytes)) {
        closeEncoder();
        return kDeviceFailed;
    }
    if (got[1] != (0x10 | 0x80) || std::memcmp(got + 2, set + 2, kFeatureBytes - 2) != 0) {
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

int32_t KELRIN_CALL Buzzer(uint8_t, int32_t)
{
    if (g_device == INVALID_HANDLE_VALUE)
        return KELRIN_ERROR_NOT_OPEN;
    std::vector<uint8_t> input;
    return exchange(0x02, 0x82, input);
}

int32_t KELRIN_CALL ReadCard(uint8_t, char *cardHexStr)
{
    if (!cardHexStr)
        return KELRIN_ERROR_NULL_POINTER;
    cardHexStr[0] = '\0';
    if (g_device == INVALID_HANDLE_VALUE)
        return KELRIN_ERROR_NOT_OPEN;
    std::vector<uint8_t> input;
    if (const int32_t result = exchange(0x01, 0x81, input); result != KELRIN_OK)
        return result;
    static const char digits[] = "0123456789ABCDEF";
    const std::size_t count = std::min<std::size_t>(input[2], kReportBytes - 3);
    std::string hex;
    for (std::size_t i = 0; i < count && hex.size() + 2 < KELRIN_CARD_HEX_SIZE; ++i) {
        hex += digits[input[3 + i] >> 4];
        hex += digits[input[3 + i] & 0xF];
    }
    std::memcpy(cardHexStr, hex.c_str(), hex.size() + 1);
    return KELRIN_OK;
}

#include "OtherFunctions.h"

int32_t KELRIN_CALL GetDLLVersion(char *versionText)
{
    if (!versionText)
        return KELRIN_ERROR_NULL_POINTER;
    std::strcpy(versionText, "HID test encoder 1");
    return KELRIN_OK;
}
