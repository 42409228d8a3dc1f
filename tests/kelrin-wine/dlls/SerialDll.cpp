// A card-encoder DLL for the bridge's serial test, as a maker's DLL for an
// encoder behind a USB serial adapter talks to it: ReadCard opens the COM
// port named by KELRIN_TEST_COM (e.g. "COM7"), sets 9600 baud 8N1, sends
// "READ <encoderType>\r\n" and reads one answer line, "CARD <hex>\r\n",
// whose hex becomes the card hex string. Its own result codes:
//   -1 the port does not open      -2 the line cannot be set
//   -3 the request cannot be sent  -4 no complete answer (the read failed,
//                                     or nothing came within 3 s)
//   -5 an answer that is not "CARD <hex>"
// Built with KELRIN_TEST_BY_SETUPAPI (serial-setupapi), it finds its port as
// a maker's DLL finds its adapter on Windows: the device whose hardware id
// holds KELRIN_TEST_USB_ID (e.g. "VID_1A86&PID_7523") among the COM-port
// interfaces SetupAPI lists, also listed in the Ports class, and its
// PortName in the device's registry key. One code more:
//   -6 no such adapter listed
#define KELRIN_BUILDING_LIBRARY
#include "kelrin.h"

#include <windows.h>

#ifdef KELRIN_TEST_BY_SETUPAPI
#include <setupapi.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>

namespace {

class Port
{
public:
    explicit Port(const char *name)
        : m_handle(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                 nullptr))
    {}
    ~Port()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    Port(const Port &) = delete;
    Port &operator=(const Port &) = delete;
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

#ifdef KELRIN_TEST_BY_SETUPAPI
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

std::string property(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD which)
{
    char text[1024] = {};
    if (!::SetupDiGetDeviceRegistryPropertyA(
            set, &device, which, nullptr, reinterpret_cast<BYTE *>(text), sizeof text - 2, nullptr))
        return {};
    return std::string(text, sizeof text - 2); // a multi-string keeps its NULs
}

// Whether the Ports class lists a device with this friendly name.
bool inPortsClass(const std::string &friendlyName)
{
    const HDEVINFO set = ::SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; !found && ::SetupDiEnumDeviceInfo(set, i, &device); ++i)
        found = property(set, device, SPDRP_FRIENDLYNAME).c_str() == friendlyName;
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
}

// The PortName of the listed adapter whose hardware id holds `id`.
bool findPort(const char *id, char *com, DWORD size)
{
    const HDEVINFO set = ::SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr,
                                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; !found && ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        if (property(set, device, SPDRP_HARDWAREID).find(id) == std::string::npos ||
            !inPortsClass(property(set, device, SPDRP_FRIENDLYNAME).c_str()))
            continue;
        const HKEY key =
            ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        found = ::RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(com),
                                   &size) == ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return found;
}
#endif

} // namespace

extern "C" KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t encoderType, char *cardHexStr)
{
    if (cardHexStr)
        cardHexStr[0] = '\0';
    char com[32] = "COM1";
#ifdef KELRIN_TEST_BY_SETUPAPI
    char id[64] = "";
    ::GetEnvironmentVariableA("KELRIN_TEST_USB_ID", id, sizeof id);
    if (!findPort(id, com, sizeof com - 1))
        return -6;
#else
    ::GetEnvironmentVariableA("KELRIN_TEST_COM", com, sizeof com);
#endif
    const std::string name = std::string("\\\\.\\") + com;
    const Port port(name.c_str());
    if (port.get() == INVALID_HANDLE_VALUE)
        return -1;

    DCB line{};
    line.DCBlength = sizeof line;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = 3000;
    timeouts.WriteTotalTimeoutConstant = 3000;
    if (!::GetCommState(port.get(), &line))
        return -2;
    line.BaudRate = CBR_9600;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    if (!::SetCommState(port.get(), &line) || !::SetCommTimeouts(port.get(), &timeouts))
        return -2;

    char request[32];
    const int length = std::snprintf(request, sizeof request, "READ %u\r\n", encoderType);
    DWORD written = 0;
    if (!::WriteFile(port.get(), request, static_cast<DWORD>(length), &written, nullptr) ||
        written != static_cast<DWORD>(length))
        return -3;

    // One byte at a time up to the end of the line: what follows it is
    // not this answer's.
    std::string answer;
    const DWORD started = ::GetTickCount();
    while (answer.empty() || answer.back() != '\n') {
        char byte = 0;
        DWORD got = 0;
        if (!::ReadFile(port.get(), &byte, 1, &got, nullptr) || ::GetTickCount() - started > 3000)
            return -4;
        if (got == 1)
            answer += byte;
        else
            ::Sleep(10);
        if (answer.size() > KELRIN_CARD_HEX_SIZE + 8)
            return -5;
    }
    while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r'))
        answer.pop_back();
    if (answer.rfind("CARD ", 0) != 0 || answer.size() - 5 >= KELRIN_CARD_HEX_SIZE)
        return -5;
    if (cardHexStr)
        std::strcpy(cardHexStr, answer.c_str() + 5);
    return 0;
}

extern "C" KELRIN_API int32_t KELRIN_CALL GetDLLVersion(char *versionText)
{
    if (versionText)
        std::strcpy(versionText, "Kelrin serial test 1.0");
    return 0;
}
