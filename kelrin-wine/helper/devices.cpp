#include "helper/devices.h"

#include <windows.h>

#include <setupapi.h>
extern "C" {
#include <hidsdi.h>
}

#include <string>
#include <vector>

namespace kb = kelrin::bridge;

namespace kelrin::host {

namespace {

std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes.data(), size, nullptr, nullptr);
    bytes.pop_back();
    return bytes;
}

template <class Fn> Fn function(HMODULE module, const char *name)
{
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// hid.dll and setupapi.dll, loaded for one listing.
struct Apis
{
    HMODULE setupapi = LoadLibraryW(L"setupapi.dll");
    HMODULE hid = LoadLibraryW(L"hid.dll");
    decltype(&SetupDiGetClassDevsW) getClassDevs =
        function<decltype(getClassDevs)>(setupapi, "SetupDiGetClassDevsW");
    decltype(&SetupDiEnumDeviceInterfaces) enumInterfaces =
        function<decltype(enumInterfaces)>(setupapi, "SetupDiEnumDeviceInterfaces");
    decltype(&SetupDiGetDeviceInterfaceDetailW) interfaceDetail =
        function<decltype(interfaceDetail)>(setupapi, "SetupDiGetDeviceInterfaceDetailW");
    decltype(&SetupDiDestroyDeviceInfoList) destroyList =
        function<decltype(destroyList)>(setupapi, "SetupDiDestroyDeviceInfoList");
    decltype(&SetupDiEnumDeviceInfo) enumDevices =
        function<decltype(enumDevices)>(setupapi, "SetupDiEnumDeviceInfo");
    decltype(&SetupDiGetDeviceRegistryPropertyW) deviceProperty =
        function<decltype(deviceProperty)>(setupapi, "SetupDiGetDeviceRegistryPropertyW");
    decltype(&SetupDiOpenDevRegKey) openDeviceKey =
        function<decltype(openDeviceKey)>(setupapi, "SetupDiOpenDevRegKey");
    decltype(&HidD_GetHidGuid) hidGuid = function<decltype(hidGuid)>(hid, "HidD_GetHidGuid");
    decltype(&HidD_GetAttributes) attributes =
        function<decltype(attributes)>(hid, "HidD_GetAttributes");
    decltype(&HidD_GetProductString) productString =
        function<decltype(productString)>(hid, "HidD_GetProductString");
    decltype(&HidD_GetPreparsedData) preparsed =
        function<decltype(preparsed)>(hid, "HidD_GetPreparsedData");
    decltype(&HidD_FreePreparsedData) freePreparsed =
        function<decltype(freePreparsed)>(hid, "HidD_FreePreparsedData");
    decltype(&HidP_GetCaps) caps = function<decltype(caps)>(hid, "HidP_GetCaps");

    bool complete() const
    {
        return getClassDevs && enumInterfaces && interfaceDetail && destroyList && hidGuid &&
               attributes && productString && preparsed && freePreparsed && caps;
    }
    ~Apis()
    {
        if (hid)
            FreeLibrary(hid);
        if (setupapi)
            FreeLibrary(setupapi);
    }
};

kb::HidDevice describe(const Apis &api, HANDLE handle, std::string path)
{
    kb::HidDevice device;
    device.path = std::move(path);
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (api.attributes(handle, &attributes)) {
        device.vendor = attributes.VendorID;
        device.product = attributes.ProductID;
    }
    wchar_t name[128] = {};
    if (api.productString(handle, name, sizeof name - sizeof name[0]))
        device.name = utf8(name);
    PHIDP_PREPARSED_DATA data = nullptr;
    if (api.preparsed(handle, &data)) {
        HIDP_CAPS caps{};
        if (api.caps(data, &caps) == HIDP_STATUS_SUCCESS) {
            device.usagePage = caps.UsagePage;
            device.usage = caps.Usage;
        }
        api.freePreparsed(data);
    }
    return device;
}

void listHid(std::vector<kb::HidDevice> &found)
{
    const Apis api;
    if (!api.complete())
        return;
    GUID guid;
    api.hidGuid(&guid);
    const HDEVINFO set =
        api.getClassDevs(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD i = 0; api.enumInterfaces(set, nullptr, &guid, i, &data); ++i) {
        DWORD size = 0;
        api.interfaceDetail(set, &data, nullptr, 0, &size, nullptr);
        std::vector<char> buffer(size + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
        detail->cbSize = sizeof *detail;
        if (!api.interfaceDetail(set, &data, detail, size, nullptr, nullptr))
            continue;
        // No access asked: a keyboard's device opens this way too.
        const HANDLE handle = CreateFileW(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            found.push_back({0, 0, 0, 0, {}, utf8(detail->DevicePath)});
            continue;
        }
        found.push_back(describe(api, handle, utf8(detail->DevicePath)));
        CloseHandle(handle);
    }
    api.destroyList(set);
}

// What Wine's device manager recorded: one value per serial port, its data
// the COM name.
void listPorts(std::vector<std::string> &found)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256], value[64];
        DWORD nameSize = 256, valueSize = sizeof value - sizeof value[0], type = 0;
        const LONG status = RegEnumValueW(key, i, name, &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE *>(value), &valueSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        value[valueSize / sizeof value[0]] = L'\0';
        found.push_back(utf8(value));
    }
    RegCloseKey(key);
}

// The HID bus settings Wine's device services read when they start.
void listBusSettings(std::vector<std::pair<std::string, std::uint32_t>> &found)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\winebus", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (const wchar_t *name : {L"Enable SDL", L"DisableHidraw", L"DisableInput"}) {
        DWORD value = 0, size = sizeof value, type = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size) ==
                ERROR_SUCCESS &&
            type == REG_DWORD)
            found.emplace_back(utf8(name), value);
    }
    RegCloseKey(key);
}

// The serial ports SetupAPI lists under the COM-port interface, as a DLL
// that looks for its adapter finds them.
void listListedPorts(std::vector<kb::ListedPort> &found)
{
    const Apis api;
    if (!api.getClassDevs || !api.enumDevices || !api.deviceProperty || !api.openDeviceKey ||
        !api.destroyList)
        return;
    // GUID_DEVINTERFACE_COMPORT
    const GUID comPort = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    const HDEVINFO set =
        api.getClassDevs(&comPort, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return;
    const auto property = [&](SP_DEVINFO_DATA &device, DWORD which) {
        wchar_t text[512] = {};
        api.deviceProperty(set, &device, which, nullptr, reinterpret_cast<BYTE *>(text),
                           sizeof text - 2 * sizeof text[0], nullptr);
        return utf8(text); // a multi-string's first string
    };
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; api.enumDevices(set, i, &device); ++i) {
        kb::ListedPort port{
            property(device, SPDRP_FRIENDLYNAME), property(device, SPDRP_HARDWAREID), {}};
        const HKEY key = api.openDeviceKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            wchar_t name[64] = {};
            DWORD size = sizeof name - sizeof name[0];
            if (RegQueryValueExW(key, L"PortName", nullptr, nullptr, reinterpret_cast<BYTE *>(name),
                                 &size) == ERROR_SUCCESS)
                port.portName = utf8(name);
            RegCloseKey(key);
        }
        found.push_back(std::move(port));
    }
    api.destroyList(set);
}

} // namespace

kb::DeviceList listDevices()
{
    kb::DeviceList devices;
    listHid(devices.hid);
    listPorts(devices.comPorts);
    listListedPorts(devices.listedPorts);
    listBusSettings(devices.busSettings);
    return devices;
}

} // namespace kelrin::host
