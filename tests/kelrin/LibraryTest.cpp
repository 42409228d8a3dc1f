// libKelrin.so through its C interface, on a private simulated device: the
// round trips the station relies on, and every result code answered with a
// failure injected at each stage, the device file left as it was.
#include "AllocationFailure.h"
#include "PrivateDevice.h"
#include "kelrin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kType = KELRIN_ENCODER_KELUSB;
constexpr int32_t kHotel = 508317;     // the station's default, 0x07C19D
constexpr int32_t kRecovered = 459165; // as the station reads it back from a card
constexpr int32_t kOtherHotel = 0x08C19D;
constexpr char kBegin[] = "2512071430";
constexpr char kEnd[] = "2612091200";
constexpr char kLock[] = "01020399";
constexpr uint8_t kLost[4] = {0x60, 0x12, 0xD2, 0x91};

std::string chars(const std::string &text, std::size_t first, std::size_t last)
{
    return text.substr(first - 1, last - first + 1);
}

struct CardText
{
    char hex[KELRIN_CARD_HEX_SIZE] = {};
    std::string text() const { return hex; }
};

struct Field
{
    char text[KELRIN_FIELD_SIZE] = {};
    std::string str() const { return text; }
};

int32_t writeGuest(int32_t coID, char *out)
{
    return GuestCard(kType, coID, 42, 3, 1, 0, kBegin, kEnd, kLock, out);
}

std::string readCard()
{
    CardText card;
    EXPECT_EQ(ReadCard(kType, card.hex), KELRIN_OK);
    return card.text();
}

// The station's own reading of the hotel from characters 9-14.
long stationHotel(const std::string &card)
{
    return std::stol(chars(card, 9, 10), nullptr, 16) * 65536 +
           std::stol(chars(card, 11, 14), nullptr, 16) % 16384;
}

std::string fileBytes(const std::filesystem::path &path)
{
    if (std::filesystem::is_directory(path))
        return "<folder>";
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class Library : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(initializeUSB(kType), KELRIN_OK); }
    PrivateDevice device;
};

} // namespace

TEST_F(Library, GuestCardRoundTripForBothSpellingsOfTheHotel)
{
    // Written with either identifier, read back as "this hotel" with either.
    for (const int32_t writtenWith : {kHotel, kRecovered}) {
        CardText card;
        ASSERT_EQ(writeGuest(writtenWith, card.hex), KELRIN_OK);
        const std::string hex = card.text();
        ASSERT_EQ(hex.size(), 128u);
        EXPECT_EQ(chars(hex, 5, 6), "01");
        EXPECT_EQ(stationHotel(hex), kRecovered);
        EXPECT_EQ(chars(hex, 25, 32), "0000002A");
        EXPECT_EQ(readCard(), hex) << "the card on the encoder is the one answered";

        Field type;
        ASSERT_EQ(GetCardTypeByCardDataStr(card.hex, type.text), KELRIN_OK);
        EXPECT_EQ(type.str(), "6");
        for (const int32_t checkedWith : {kHotel, kRecovered, int32_t(stationHotel(hex))}) {
            Field lockNo, eTime;
            EXPECT_EQ(GetGuestLockNoByCardDataStr(checkedWith, card.hex, lockNo.text), KELRIN_OK);
            EXPECT_EQ(lockNo.str(), kLock);
            EXPECT_EQ(GetGuestETimeByCardDataStr(checkedWith, card.hex, eTime.text), KELRIN_OK);
            EXPECT_EQ(eTime.str(), kEnd);
        }
        Field ignored;
        EXPECT_EQ(GetGuestLockNoByCardDataStr(kOtherHotel, card.hex, ignored.text),
                  KELRIN_OTHER_HOTEL);
        EXPECT_EQ(GetGuestETimeByCardDataStr(kRecovered + 1, card.hex, ignored.text),
                  KELRIN_OTHER_HOTEL);
    }
}

TEST_F(Library, EraseLeavesABlankCardWithItsFixedId)
{
    const std::string fixedId = chars(readCard(), 57, 64);
    CardText card;
    ASSERT_EQ(writeGuest(kHotel, card.hex), KELRIN_OK);
    EXPECT_EQ(chars(card.text(), 57, 64), fixedId) << "a write changed the fixed ID";

    ASSERT_EQ(CardErase(kType, kRecovered, card.hex), KELRIN_OK);
    EXPECT_EQ(chars(card.text(), 25, 32), "FFFFFFFF");
    EXPECT_EQ(chars(card.text(), 57, 64), fixedId);
    EXPECT_EQ(readCard(), card.text());
    Field type;
    ASSERT_EQ(GetCardTypeByCardDataStr(card.hex, type.text), KELRIN_OK);
    EXPECT_EQ(type.str(), "F");
    EXPECT_EQ(GetGuestLockNoByCardDataStr(kHotel, card.hex, type.text), KELRIN_NOT_GUEST_CARD);

    // A blank card erases for any hotel.
    EXPECT_EQ(CardErase(kType, kOtherHotel, card.hex), KELRIN_OK);
}

TEST_F(Library, LimitCardNamesTheLostCard)
{
    CardText card;
    ASSERT_EQ(LimitCard(kType, kHotel, 7, 0, kBegin, kLost, card.hex), KELRIN_OK);
    EXPECT_EQ(chars(card.text(), 73, 80), "6012D291");
    EXPECT_NE(chars(card.text(), 25, 32), "FFFFFFFF");
    Field type;
    ASSERT_EQ(GetCardTypeByCardDataStr(card.hex, type.text), KELRIN_OK);
    EXPECT_EQ(type.str(), "4");
    EXPECT_EQ(GetGuestETimeByCardDataStr(kHotel, card.hex, type.text), KELRIN_NOT_GUEST_CARD);
    EXPECT_EQ(GetGuestETimeByCardDataStr(kOtherHotel, card.hex, type.text), KELRIN_OTHER_HOTEL);
}

TEST_F(Library, NoCardReadsWithoutThePresenceMarker)
{
    device.change([](kelrin::DeviceState &state) { state.card.reset(); });
    const std::string hex = readCard();
    EXPECT_NE(chars(hex, 5, 6), "01");
    Field type;
    EXPECT_EQ(GetCardTypeByCardDataStr(hex.c_str(), type.text), KELRIN_INVALID_DATA);
}

TEST_F(Library, RecordDumpHoldsEveryRecordWhereTheStationLooks)
{
    const std::vector<std::string> added = {"251207143005", "251207143106", "251208000000",
                                            "251231235959", "260101000001"};
    device.change([&](kelrin::DeviceState &state) {
        for (std::size_t i = 0; i < added.size(); ++i)
            state.addRecord(*kelrin::makeRecord(0xB, added[i], static_cast<uint16_t>(i)));
    });
    const auto records = device.load().records;
    ASSERT_EQ(records.size(), 6 + added.size());

    std::vector<char> dump(KELRIN_RECORD_TEXT_SIZE);
    ASSERT_EQ(ReadRecord(kType, dump.data()), KELRIN_OK);
    const std::string text = dump.data();
    EXPECT_EQ(text.size(), 592u + 74u * 3);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const std::string record = text.substr(599 + 74 * (i / 4) + 16 * (i % 4) - 1, 16);
        Field decoded;
        ASSERT_EQ(GetOpenRecordByDataStr(record.c_str(), decoded.text), KELRIN_OK) << i;
        EXPECT_EQ(decoded.str(), kelrin::recordText(records[i]));
        if (i >= 6) {
            EXPECT_EQ(decoded.str().substr(1, 12), added[i - 6]);
        }
    }
    Field example;
    ASSERT_EQ(GetOpenRecordByDataStr("6B15458D15EA3941", example.text), KELRIN_OK);
    EXPECT_EQ(example.str(), "68810201106345EA");
}

TEST_F(Library, RecordMemoryKeepsTheNewest224)
{
    device.change([](kelrin::DeviceState &state) {
        for (unsigned i = 0; i < 300; ++i)
            state.addRecord(*kelrin::makeRecord(6, "251207143005", static_cast<uint16_t>(i)));
    });
    std::vector<char> dump(KELRIN_RECORD_TEXT_SIZE);
    ASSERT_EQ(ReadRecord(kType, dump.data()), KELRIN_OK);
    const std::string text = dump.data();
    ASSERT_EQ(text.size(), 592u + 74u * 56);
    Field last;
    ASSERT_EQ(
        GetOpenRecordByDataStr(text.substr(599 + 74 * 55 + 16 * 3 - 1, 16).c_str(), last.text),
        KELRIN_OK);
    EXPECT_EQ(last.str(), "625120714300512B"); // door 299
}

TEST_F(Library, LatencyDelaysDeviceCallsOnly)
{
    device.change([](kelrin::DeviceState &state) { state.latencyMs = 60; });
    const auto start = std::chrono::steady_clock::now();
    readCard();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(60));

    const std::string card = readCard();
    const auto decodeStart = std::chrono::steady_clock::now();
    Field type;
    ASSERT_EQ(GetCardTypeByCardDataStr(card.c_str(), type.text), KELRIN_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - decodeStart, std::chrono::milliseconds(30));
}

TEST_F(Library, BuzzerCountsBeeps)
{
    ASSERT_EQ(Buzzer(kType, 10), KELRIN_OK);
    ASSERT_EQ(Buzzer(kType, 0), KELRIN_OK);
    EXPECT_EQ(device.load().beeps, 2u);
}

TEST_F(Library, VersionNamesTheStandIn)
{
    char version[KELRIN_VERSION_SIZE];
    ASSERT_EQ(GetDLLVersion(version), KELRIN_OK);
    EXPECT_EQ(std::string(version).rfind("Kelrin simulator ", 0), 0u) << version;
}

TEST(DeviceFile, MissingFileIsAFreshDeviceAndReadingCreatesNothing)
{
    PrivateDevice device;
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    readCard();
    std::vector<char> dump(KELRIN_RECORD_TEXT_SIZE);
    ASSERT_EQ(ReadRecord(kType, dump.data()), KELRIN_OK);
    EXPECT_TRUE(std::filesystem::is_empty(device.folder)) << "a read wrote the device";
    EXPECT_EQ(device.load(), kelrin::DeviceState::fresh());
}

TEST(DeviceFile, WritesRoundTripThroughTheText)
{
    PrivateDevice device;
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    CardText card;
    ASSERT_EQ(writeGuest(kHotel, card.hex), KELRIN_OK);
    const kelrin::DeviceState state = device.load();
    EXPECT_EQ(kelrin::parseState(kelrin::formatState(state)), state);
    EXPECT_EQ(kelrin::encodeCard(*state.card), card.text());
    // Nothing of the write is left behind but the state and its lock.
    std::set<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(device.folder))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names, (std::set<std::string>{"device", "device.lock"}));
}

namespace {

// Sets or unsets an environment variable for the object's life.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name))
            m_old = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;
    ~ScopedEnv() { m_old ? ::setenv(m_name, m_old->c_str(), 1) : ::unsetenv(m_name); }

private:
    const char *m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(StatePath, ChosenFromTheEnvironmentInOrder)
{
    const struct
    {
        const char *state, *xdg, *home, *expected;
    } cases[] = {
        {"/x/device", "/s", "/h", "/x/device"},
        {nullptr, "/s", "/h", "/s/kelrin/device"},
        {"", "/s", "/h", "/s/kelrin/device"},
        {nullptr, "relative", "/h", "/h/.local/state/kelrin/device"},
        {nullptr, "", "/h", "/h/.local/state/kelrin/device"},
        {nullptr, nullptr, "/h", "/h/.local/state/kelrin/device"},
    };
    for (const auto &c : cases) {
        const ScopedEnv state("KELRIN_SIM_STATE", c.state), xdg("XDG_STATE_HOME", c.xdg),
            home("HOME", c.home);
        EXPECT_EQ(kelrin::statePath(), c.expected);
    }
    const ScopedEnv state("KELRIN_SIM_STATE", nullptr), xdg("XDG_STATE_HOME", nullptr),
        home("HOME", nullptr);
    try {
        kelrin::statePath();
        ADD_FAILURE() << "a path without any variable";
    } catch (const kelrin::Failure &failure) {
        EXPECT_EQ(failure.code(), KELRIN_ERROR_STATE_IO);
    }
#ifndef KELRIN_TEST_THROUGH_BRIDGE // under Wine the DLL still has Wine's own home folder
    EXPECT_EQ(initializeUSB(kType), KELRIN_ERROR_STATE_IO);
#endif
}

// ---- Every result code, each with the stage it comes from ------------------

namespace {

using Setup = void (*)(PrivateDevice &);

void openPort(PrivateDevice &)
{
    ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
}
void closedPort(PrivateDevice &device)
{
    openPort(device);
    ASSERT_EQ(CloseUSB(kType), KELRIN_OK);
}
void unplugged(PrivateDevice &device)
{
    device.change([](kelrin::DeviceState &state) { state.attached = false; });
}
void openThenUnplugged(PrivateDevice &device)
{
    openPort(device);
    unplugged(device);
}
void typeZeroEncoder(PrivateDevice &device)
{
    device.change([](kelrin::DeviceState &state) { state.encoderType = 0; });
}
void openTypeZeroEncoder(PrivateDevice &device)
{
    typeZeroEncoder(device);
    ASSERT_EQ(initializeUSB(KELRIN_ENCODER_WITH_DRIVER), KELRIN_OK);
}
void openNoCard(PrivateDevice &device)
{
    openPort(device);
    device.change([](kelrin::DeviceState &state) { state.card.reset(); });
}
void openOtherHotelsCard(PrivateDevice &device)
{
    openPort(device);
    CardText card;
    ASSERT_EQ(writeGuest(kOtherHotel, card.hex), KELRIN_OK);
}
void corruptState(PrivateDevice &device)
{
    std::ofstream(device.state) << "kelrin-device 1\nattached maybe\n";
}
void openThenCorrupt(PrivateDevice &device)
{
    openPort(device);
    corruptState(device);
}
void stateIsAFolder(PrivateDevice &device)
{
    std::filesystem::create_directory(device.state);
}
void openThenStateIsAFolder(PrivateDevice &device)
{
    openPort(device);
    stateIsAFolder(device);
}
[[maybe_unused]] void stateUnderAFile(PrivateDevice &device)
{
    std::ofstream(device.folder / "file") << "x";
    ::setenv("KELRIN_SIM_STATE", (device.folder / "file" / "device").c_str(), 1);
}
void nothing(PrivateDevice &) {}

std::string guestCardText()
{
    kelrin::Card card = kelrin::blankCard(1);
    card.type = kelrin::kCardTypeGuest;
    card.hotel = kHotel;
    card.serial = 1;
    card.from = kBegin;
    card.until = kEnd;
    card.lockNo = kLock;
    return kelrin::encodeCard(card);
}

std::string limitCardText()
{
    kelrin::Card card = kelrin::blankCard(1);
    card.type = kelrin::kCardTypeLimit;
    card.hotel = kHotel;
    card.serial = 1;
    card.from = kBegin;
    return kelrin::encodeCard(card);
}

struct ErrorCase
{
    const char *name;
    Setup setup;
    int32_t (*call)(char *out); // out: KELRIN_RECORD_TEXT_SIZE bytes
    int32_t expected;
};

void PrintTo(const ErrorCase &c, std::ostream *os)
{
    *os << c.name;
}

// clang-format off
const ErrorCase kErrorCases[] = {
    {"type_of_junk", nothing, [](char *o) { return GetCardTypeByCardDataStr("zz", o); }, KELRIN_INVALID_DATA},
    {"lock_no_of_truncated_card", nothing, [](char *o) { return GetGuestLockNoByCardDataStr(kHotel, guestCardText().substr(0, 127).c_str(), o); }, KELRIN_INVALID_DATA},
    {"record_with_broken_seal", nothing, [](char *o) { return GetOpenRecordByDataStr("6B15458D15EA3940", o); }, KELRIN_INVALID_DATA},
    {"lock_no_other_hotel", nothing, [](char *o) { return GetGuestLockNoByCardDataStr(kOtherHotel, guestCardText().c_str(), o); }, KELRIN_OTHER_HOTEL},
    {"etime_hotel_out_of_range", nothing, [](char *o) { return GetGuestETimeByCardDataStr(-1, guestCardText().c_str(), o); }, KELRIN_OTHER_HOTEL},
    {"lock_no_of_limit_card", nothing, [](char *o) { return GetGuestLockNoByCardDataStr(kHotel, limitCardText().c_str(), o); }, KELRIN_NOT_GUEST_CARD},
    {"etime_of_blank_card", nothing, [](char *o) { return GetGuestETimeByCardDataStr(kHotel, kelrin::encodeCard(kelrin::blankCard(9)).c_str(), o); }, KELRIN_NOT_GUEST_CARD},
    {"read_into_null", openPort, [](char *) { return ReadCard(kType, nullptr); }, KELRIN_ERROR_NULL_POINTER},
    {"guest_null_lock_no", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 0, 0, kBegin, kEnd, nullptr, o); }, KELRIN_ERROR_NULL_POINTER},
    {"limit_null_lost_card", openPort, [](char *o) { return LimitCard(kType, kHotel, 1, 0, kBegin, nullptr, o); }, KELRIN_ERROR_NULL_POINTER},
    {"type_of_null", nothing, [](char *o) { return GetCardTypeByCardDataStr(nullptr, o); }, KELRIN_ERROR_NULL_POINTER},
    {"version_into_null", nothing, [](char *) { return GetDLLVersion(nullptr); }, KELRIN_ERROR_NULL_POINTER},
    {"open_type_2", nothing, [](char *) { return initializeUSB(2); }, KELRIN_ERROR_ENCODER_TYPE},
    {"close_type_255", openPort, [](char *) { return CloseUSB(255); }, KELRIN_ERROR_ENCODER_TYPE},
    {"guest_type_2", openPort, [](char *o) { return GuestCard(2, kHotel, 1, 0, 0, 0, kBegin, kEnd, kLock, o); }, KELRIN_ERROR_ENCODER_TYPE},
    {"read_never_opened", nothing, [](char *o) { return ReadCard(kType, o); }, KELRIN_ERROR_NOT_OPEN},
    {"buzzer_closed", closedPort, [](char *) { return Buzzer(kType, 10); }, KELRIN_ERROR_NOT_OPEN},
    {"guest_closed", closedPort, [](char *o) { return writeGuest(kHotel, o); }, KELRIN_ERROR_NOT_OPEN},
    {"limit_closed", closedPort, [](char *o) { return LimitCard(kType, kHotel, 1, 0, kBegin, kLost, o); }, KELRIN_ERROR_NOT_OPEN},
    {"erase_closed", closedPort, [](char *o) { return CardErase(kType, kHotel, o); }, KELRIN_ERROR_NOT_OPEN},
    {"records_closed", closedPort, [](char *o) { return ReadRecord(kType, o); }, KELRIN_ERROR_NOT_OPEN},
    {"open_unplugged", unplugged, [](char *) { return initializeUSB(kType); }, KELRIN_ERROR_NO_DEVICE},
    {"read_unplugged", openThenUnplugged, [](char *o) { return ReadCard(kType, o); }, KELRIN_ERROR_NO_DEVICE},
    {"guest_unplugged", openThenUnplugged, [](char *o) { return writeGuest(kHotel, o); }, KELRIN_ERROR_NO_DEVICE},
    {"buzzer_unplugged", openThenUnplugged, [](char *) { return Buzzer(kType, 1); }, KELRIN_ERROR_NO_DEVICE},
    {"open_kelusb_on_driver_encoder", typeZeroEncoder, [](char *) { return initializeUSB(kType); }, KELRIN_ERROR_WRONG_ENCODER},
    {"records_for_kelusb_on_driver_encoder", openTypeZeroEncoder, [](char *o) { return ReadRecord(kType, o); }, KELRIN_ERROR_WRONG_ENCODER},
    {"guest_no_card", openNoCard, [](char *o) { return writeGuest(kHotel, o); }, KELRIN_ERROR_NO_CARD},
    {"limit_no_card", openNoCard, [](char *o) { return LimitCard(kType, kHotel, 1, 0, kBegin, kLost, o); }, KELRIN_ERROR_NO_CARD},
    {"erase_no_card", openNoCard, [](char *o) { return CardErase(kType, kHotel, o); }, KELRIN_ERROR_NO_CARD},
    {"erase_other_hotels_card", openOtherHotelsCard, [](char *o) { return CardErase(kType, kHotel, o); }, KELRIN_ERROR_OTHER_HOTEL_CARD},
    {"guest_over_other_hotels_card", openOtherHotelsCard, [](char *o) { return writeGuest(kRecovered, o); }, KELRIN_ERROR_OTHER_HOTEL_CARD},
    {"guest_hotel_negative", openPort, [](char *o) { return writeGuest(-1, o); }, KELRIN_ERROR_HOTEL_ID},
    {"limit_hotel_above_three_bytes", openPort, [](char *o) { return LimitCard(kType, 0x1000000, 1, 0, kBegin, kLost, o); }, KELRIN_ERROR_HOTEL_ID},
    {"erase_hotel_negative", openPort, [](char *o) { return CardErase(kType, -5, o); }, KELRIN_ERROR_HOTEL_ID},
    {"guest_card_no_negative", openPort, [](char *o) { return GuestCard(kType, kHotel, -1, 0, 0, 0, kBegin, kEnd, kLock, o); }, KELRIN_ERROR_CARD_NO},
    {"guest_dai_256", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 256, 0, 0, kBegin, kEnd, kLock, o); }, KELRIN_ERROR_DAI},
    {"limit_dai_negative", openPort, [](char *o) { return LimitCard(kType, kHotel, 1, -1, kBegin, kLost, o); }, KELRIN_ERROR_DAI},
    {"guest_deadbolt_2", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 2, 0, kBegin, kEnd, kLock, o); }, KELRIN_ERROR_FLAG},
    {"guest_issue_flag_255", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 0, 255, kBegin, kEnd, kLock, o); }, KELRIN_ERROR_FLAG},
    {"guest_begin_month_13", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 0, 0, "2513011200", kEnd, kLock, o); }, KELRIN_ERROR_TIME},
    {"guest_end_empty", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 0, 0, kBegin, "", kLock, o); }, KELRIN_ERROR_TIME},
    {"limit_hour_24", openPort, [](char *o) { return LimitCard(kType, kHotel, 1, 0, "2512072400", kLost, o); }, KELRIN_ERROR_TIME},
    {"guest_lock_no_seven_digits", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 0, 0, kBegin, kEnd, "0102039", o); }, KELRIN_ERROR_LOCK_NO},
    {"guest_lock_no_letter", openPort, [](char *o) { return GuestCard(kType, kHotel, 1, 0, 0, 0, kBegin, kEnd, "0102039X", o); }, KELRIN_ERROR_LOCK_NO},
    {"buzzer_negative", openPort, [](char *) { return Buzzer(kType, -1); }, KELRIN_ERROR_DURATION},
    {"buzzer_65536", openPort, [](char *) { return Buzzer(kType, 65536); }, KELRIN_ERROR_DURATION},
    {"open_corrupt", corruptState, [](char *) { return initializeUSB(kType); }, KELRIN_ERROR_STATE_CORRUPT},
    {"read_corrupt", openThenCorrupt, [](char *o) { return ReadCard(kType, o); }, KELRIN_ERROR_STATE_CORRUPT},
    {"guest_corrupt", openThenCorrupt, [](char *o) { return writeGuest(kHotel, o); }, KELRIN_ERROR_STATE_CORRUPT},
    {"open_state_is_a_folder", stateIsAFolder, [](char *) { return initializeUSB(kType); }, KELRIN_ERROR_STATE_IO},
    {"erase_state_is_a_folder", openThenStateIsAFolder, [](char *o) { return CardErase(kType, kHotel, o); }, KELRIN_ERROR_STATE_IO},
#ifndef KELRIN_TEST_THROUGH_BRIDGE // the DLL's process keeps the environment it started with
    {"open_state_under_a_file", stateUnderAFile, [](char *) { return initializeUSB(kType); }, KELRIN_ERROR_STATE_IO},
#endif
#ifndef KELRIN_TEST_THROUGH_BRIDGE // an allocation here cannot fail one in the DLL's process
    {"guest_out_of_memory", openPort, [](char *o) { AllocationFailure failing; return writeGuest(kHotel, o); }, KELRIN_ERROR_INTERNAL},
#endif
};
// clang-format on

class ResultCode : public ::testing::TestWithParam<ErrorCase>
{
};

} // namespace

TEST_P(ResultCode, AnsweredAndNothingWritten)
{
    const ErrorCase &c = GetParam();
    PrivateDevice device;
    c.setup(device);
    ASSERT_FALSE(HasFatalFailure());
    const std::string before = fileBytes(device.state);
    std::vector<char> out(KELRIN_RECORD_TEXT_SIZE, 'X');

    const int32_t result = c.call(out.data());

    EXPECT_EQ(result, c.expected) << kelrin_result_name(result) << " instead of "
                                  << kelrin_result_name(c.expected);
    EXPECT_EQ(fileBytes(device.state), before) << "a failed call changed the device";
    EXPECT_TRUE(out[0] == '\0' || out[0] == 'X') << "a failed call left an answer";
}

INSTANTIATE_TEST_SUITE_P(Kelrin, ResultCode, ::testing::ValuesIn(kErrorCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(ResultCodes, EveryCodeIsAnsweredByTheTable)
{
    std::set<int32_t> answered;
    for (const ErrorCase &c : kErrorCases)
        answered.insert(c.expected);
#ifdef KELRIN_TEST_THROUGH_BRIDGE
    answered.insert(KELRIN_ERROR_INTERNAL); // its row stays in this process
#endif
    for (int32_t code = KELRIN_RESULT_LOWEST; code <= KELRIN_NOT_GUEST_CARD; ++code) {
        if (code != KELRIN_OK) {
            EXPECT_TRUE(answered.contains(code)) << kelrin_result_name(code) << " never answered";
        }
    }
}

// ---- A state file that does not parse is refused and kept ------------------

namespace {

struct CorruptCase
{
    const char *name;
    std::string text;
    const char *says; // part of the explanation
};

void PrintTo(const CorruptCase &c, std::ostream *os)
{
    *os << c.name;
}

std::string validState()
{
    return kelrin::formatState(kelrin::DeviceState::fresh());
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

class CorruptState : public ::testing::TestWithParam<CorruptCase>
{
};

} // namespace

TEST_P(CorruptState, RefusedWithTheLineAndLeftAsItIs)
{
    const CorruptCase &c = GetParam();
    PrivateDevice device;
    std::ofstream(device.state, std::ios::binary) << c.text;
    const std::string before = fileBytes(device.state);

    try {
        device.load();
        ADD_FAILURE() << "parsed";
    } catch (const kelrin::Failure &failure) {
        EXPECT_EQ(failure.code(), KELRIN_ERROR_STATE_CORRUPT);
        EXPECT_NE(std::string(failure.what()).find(c.says), std::string::npos) << failure.what();
    }
    EXPECT_EQ(initializeUSB(kType), KELRIN_ERROR_STATE_CORRUPT);
    EXPECT_EQ(fileBytes(device.state), before);
    // The decoders need no device and go on working.
    Field type;
    EXPECT_EQ(GetCardTypeByCardDataStr(guestCardText().c_str(), type.text), KELRIN_OK);
}

INSTANTIATE_TEST_SUITE_P(
    Kelrin, CorruptState,
    ::testing::Values(
        CorruptCase{"empty", "", "empty"},
        CorruptCase{"not_ours", "[MAIN]\nroomno=01020399\n", "line 1"},
        CorruptCase{"unknown_name", validState() + "colour blue\n", "unknown name"},
        CorruptCase{"twice", validState() + "attached no\n", "given again"},
        CorruptCase{"missing", replaced(validState(), "beeps 0\n", ""), "\"beeps\" is missing"},
        CorruptCase{"bad_number", replaced(validState(), "latency-ms 0", "latency-ms 60001"),
                    "latency-ms"},
        CorruptCase{"card_check_broken", replaced(validState(), "card 4B01010F", "card 4B01010E"),
                    "card"},
        CorruptCase{"record_junk", validState() + "record 6B15458D15EA3940\n", "record"},
        CorruptCase{"too_many_records",
                    [] {
                        std::string text = validState();
                        for (int i = 0; i < 224; ++i)
                            text += "record 6B15458D15EA3941\n";
                        return text;
                    }(),
                    "more than 224"},
        CorruptCase{"huge", std::string(2 << 20, '#'), "larger"},
        CorruptCase{"binary", std::string("kelrin-device 1\n\x80\xff\x00\x01", 20), "line 2"}),
    [](const auto &info) { return std::string(info.param.name); });
