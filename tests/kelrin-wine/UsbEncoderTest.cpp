// An encoder with a driver through Wine, on the virtual USB encoder
// (virtual-usb/): the libusb-win32 test DLL finds it by vendor and product
// through the supplied libusb0.dll, claims its interface and exchanges
// control, bulk and interrupt transfers with the model, carried out by the
// bridge's Linux libusb; each fault of the device answers libusb0's own
// code or the bridge's time-out, never a hang, and the next call works.
// The model's testbed is this process's, which starts itself again under
// umockdev's preload (as umockdev-wrapper would).
#include "TempFolder.h"
#include "bridge.h"
#include "kelrin.h"
#include "usb_model.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kb = kelrin::bridge;
namespace fs = std::filesystem;
using kelrin::test::UsbModel;

namespace {

using F = kb::Function;

class UsbEncoder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The model is in this process; Wine's processes need none of umockdev.
        ::unsetenv("LD_PRELOAD");
        ::setenv("KELRIN_WINE", KELRIN_TEST_WINE, 1);
        ::setenv("KELRIN_WINEPREFIX", KELRIN_TEST_WINEPREFIX, 1);
    }
    void TearDown() override { ::unsetenv("KELRIN_BRIDGE_TIMEOUT_MS"); }

    // `besideIt`: a libusb0.dll of the maker's beside its DLL, as installers
    // leave one (here a DLL with none of the functions).
    kb::StartReport start(unsigned bits, bool besideIt = false)
    {
        const fs::path dlls = KELRIN_TEST_DLL_DIR;
        fs::copy_file(dlls / ("usb-encoder" + std::to_string(bits) + ".dll"),
                      station / "Kelrin.dll", fs::copy_options::overwrite_existing);
        if (besideIt)
            fs::copy_file(dlls / ("companion" + std::to_string(bits) + ".dll"),
                          station / "libusb0.dll", fs::copy_options::overwrite_existing);
        bridge = std::make_unique<kb::Bridge>(
            kb::processEnvironment(),
            kb::Places{station, KELRIN_TEST_HELPERS, {KELRIN_TEST_HELPERS}});
        return bridge->start(kb::kDefaultTimeLimit);
    }
    std::int32_t open() { return bridge->call(F::initializeUSB, {kb::byteArg(0)}, nullptr); }
    std::int32_t readCard(std::string &out)
    {
        char buffer[KELRIN_CARD_HEX_SIZE] = {};
        const std::int32_t result = bridge->call(F::ReadCard, {kb::byteArg(0)}, buffer);
        out = buffer;
        return result;
    }

    std::unique_ptr<UsbModel> device = std::make_unique<UsbModel>();
    UsbModel &model() { return *device; }
    const TempFolder temp{"bridge-usb"};
    const fs::path station = temp.path();
    std::unique_ptr<kb::Bridge> bridge;
};

struct Width
{
    unsigned bits;
    bool makersLibusbBeside;
};

class UsbRoundTrip : public UsbEncoder, public ::testing::WithParamInterface<Width>
{
};

} // namespace

TEST_P(UsbRoundTrip, FindsTheEncoderAndReadsTheModelsCard)
{
    const kb::StartReport found = start(GetParam().bits, GetParam().makersLibusbBeside);
    if (found.result == KELRIN_BRIDGE_NO_WINE32)
        GTEST_SKIP() << "this machine's Wine runs no 32-bit programs";
    ASSERT_EQ(found.result, KELRIN_OK);
    model().setCard(std::string("\x00\x01\x9A\xFF\x10", 5));
    ASSERT_EQ(open(), KELRIN_OK);
    std::string read;
    EXPECT_EQ(readCard(read), KELRIN_OK);
    EXPECT_EQ(read, "00019AFF10");
    EXPECT_EQ(bridge->call(F::Buzzer, {kb::byteArg(0), kb::intArg(50)}, nullptr), KELRIN_OK);
    EXPECT_EQ(model().buzzes(), 1);
    // Each read asks the device.
    model().setCard("\x42");
    EXPECT_EQ(readCard(read), KELRIN_OK);
    EXPECT_EQ(read, "42");
}

// The supplied libusb0.dll is the one the DLL binds to, even with the
// maker's beside it.
INSTANTIATE_TEST_SUITE_P(Widths, UsbRoundTrip,
                         ::testing::Values(Width{32, false}, Width{64, false}, Width{64, true}),
                         [](const auto &info) {
                             return std::to_string(info.param.bits) + "bit" +
                                    (info.param.makersLibusbBeside ? "WithTheMakersBeside" : "");
                         });

namespace {

// A fault of the device during a card read, what the read answers, and what
// the next open answers once the model no longer faults: a device gone
// stays gone, and opening it answers libusb0's "no device".
struct Fault
{
    const char *name;
    UsbModel::Fault fault;
    std::int32_t read;
    std::int32_t nextOpen;
};

const std::vector<Fault> kFaults = {
    {"EndpointStalls", UsbModel::Fault::Stall, kb::usb_error::kPipe, KELRIN_OK},
    // Ended within the call's time limit, in time for the DLL to answer.
    {"TransferNeverCompletes", UsbModel::Fault::Silent, kb::usb_error::kTimedOut, KELRIN_OK},
    {"UnpluggedMidTransfer", UsbModel::Fault::Gone, kb::usb_error::kNoDevice,
     kb::usb_error::kNoDevice},
};

class UsbFaults : public UsbEncoder, public ::testing::WithParamInterface<Fault>
{
};

} // namespace

TEST_P(UsbFaults, AnswerACodeAndTheNextCallIsServed)
{
    const Fault &fault = GetParam();
    if (fault.fault == UsbModel::Fault::Silent)
        ::setenv("KELRIN_BRIDGE_TIMEOUT_MS", "3000", 1);
    ASSERT_EQ(start(64).result, KELRIN_OK);
    ASSERT_EQ(open(), KELRIN_OK);
    model().setFault(fault.fault);
    std::string read;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(readCard(read), fault.read);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
    EXPECT_EQ(read, "");
    model().setFault(UsbModel::Fault::None);
    EXPECT_EQ(open(), fault.nextOpen);
    if (fault.nextOpen == KELRIN_OK) {
        EXPECT_EQ(readCard(read), KELRIN_OK);
        EXPECT_EQ(read, "01020304");
    }
}

INSTANTIATE_TEST_SUITE_P(Virtual, UsbFaults, ::testing::ValuesIn(kFaults),
                         [](const auto &info) { return std::string(info.param.name); });

namespace {

// The tests run as root, who opens any node: this thread (the one that
// makes the bridge's calls) gives up for a while the capabilities that let it.
class WithoutRootsAccess
{
public:
    WithoutRootsAccess()
    {
        ::syscall(SYS_capget, &m_header, m_saved);
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        ::syscall(SYS_capset, &m_header, reduced);
    }
    ~WithoutRootsAccess() { ::syscall(SYS_capset, &m_header, m_saved); }
    WithoutRootsAccess(const WithoutRootsAccess &) = delete;
    WithoutRootsAccess &operator=(const WithoutRootsAccess &) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
};

} // namespace

// A node under /dev/bus/usb this account cannot open: libusb0 cannot open
// the device (the DLL's own code), and once the node is open to it (the
// udev rule's work), the next open serves.
TEST_F(UsbEncoder, ANodeTheAccountCannotOpen)
{
    const fs::path node = fs::path(std::getenv("UMOCKDEV_DIR")) / "dev/bus/usb/001/002";
    ASSERT_EQ(start(64).result, KELRIN_OK);
    fs::permissions(node, fs::perms::none);
    {
        const WithoutRootsAccess asAClerk;
        EXPECT_EQ(open(), -502); // the test DLL's kOpenFailed
    }
    fs::permissions(node, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(open(), KELRIN_OK);
}

// A configuration libusb cannot read: nothing in the chain trips over it,
// and the DLL, finding no encoder it can use, answers its own "no device".
TEST_F(UsbEncoder, ADescriptorLibusbCannotReadLeavesTheConfigurationOut)
{
    device.reset();
    device = std::make_unique<UsbModel>(false);
    ASSERT_EQ(start(64).result, KELRIN_OK);
    EXPECT_EQ(open(), -501); // the test DLL's kNoDevice
}

namespace {

// What a DLL may ask that it should not (the test DLL's bad requests, by
// number): libusb0's own code, never a write outside the buffer; the
// device serves a card read after all of them.
struct BadRequest
{
    const char *name;
    std::int32_t which;
    std::int32_t answer;
};

const std::vector<BadRequest> kBadRequests = {
    {"negative length", 0, kb::usb_error::kInvalid},
    {"no buffer", 1, kb::usb_error::kInvalid},
    {"no device", 2, kb::usb_error::kInvalid},
    {"endpoint the device lacks", 3, kb::usb_error::kIo},
    {"interface the device lacks", 4, kb::usb_error::kIo},
    {"control transfer over 65535 bytes", 5, kb::usb_error::kInvalid},
    {"string into no room", 6, kb::usb_error::kInvalid},
    {"string the device lacks", 7, kb::usb_error::kPipe},
    {"answer longer than the buffer", 8, kb::usb_error::kIo},
    {"alternate setting, no interface claimed", 9, kb::usb_error::kInvalid},
    {"open no device", 10, kb::usb_error::kInvalid},
    {"free nothing", 11, kb::usb_error::kInvalid},
};

} // namespace

TEST_F(UsbEncoder, BadRequestsAnswerLibusb0sCodeAndTheDeviceServesOn)
{
    ASSERT_EQ(start(64).result, KELRIN_OK);
    ASSERT_EQ(open(), KELRIN_OK);
    for (const BadRequest &bad : kBadRequests) {
        char output[KELRIN_CARD_HEX_SIZE] = {};
        EXPECT_EQ(bridge->call(F::CardErase, {kb::byteArg(0), kb::intArg(bad.which)}, output),
                  bad.answer)
            << bad.name;
    }
    std::string read;
    EXPECT_EQ(readCard(read), KELRIN_OK);
    EXPECT_EQ(read, "01020304");
}

int main(int argc, char *argv[])
{
    // umockdev's preload works only when it is in the process from its start.
    const char *preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) {
        const std::string umockdev = "libumockdev-preload.so.0";
        ::setenv("LD_PRELOAD", (preload && *preload ? umockdev + ":" + preload : umockdev).c_str(),
                 1);
        // A sanitizer build's runtime then comes second, which it allows when told.
        const char *asan = std::getenv("ASAN_OPTIONS");
        ::setenv(
            "ASAN_OPTIONS",
            ((asan && *asan ? std::string(asan) + ":" : std::string()) + "verify_asan_link_order=0")
                .c_str(),
            1);
        ::execv("/proc/self/exe", argv);
        std::perror("starting again under umockdev's preload");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
