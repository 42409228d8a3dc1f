// Every output buffer of its documented size between guard bytes, and every
// function fed hostile text: null, empty, overlong, not hex, bytes
// 0x80-0xFF. The guards must stay as they were and the answer must end with
// a NUL inside its buffer, whatever the result.
#include "GuardedBuffer.h"
#include "PrivateDevice.h"
#include "codec.h"
#include "kelrin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uint8_t kType = KELRIN_ENCODER_KELUSB;
constexpr int32_t kHotel = 508317;

struct Hostile
{
    std::string name;
    std::optional<std::string> text; // nothing: a null pointer
    const char *get() const { return text ? text->c_str() : nullptr; }
};

std::string highBytes(std::size_t length)
{
    std::string text;
    for (std::size_t i = 0; i < length; ++i)
        text += static_cast<char>(0x80 + i % 0x80);
    return text;
}

std::vector<Hostile> hostileTexts()
{
    kelrin::Card guest = kelrin::blankCard(0x11223344);
    guest.type = kelrin::kCardTypeGuest;
    guest.hotel = kHotel;
    guest.serial = 5;
    guest.from = "2512071430";
    guest.until = "2612091200";
    guest.lockNo = "01020399";
    const std::string card = kelrin::encodeCard(guest);
    return {
        {"null", std::nullopt},
        {"empty", ""},
        {"255_letters", std::string(255, 'A')},
        {"4000_digits", std::string(4000, '9')},
        {"128_non_hex", std::string(128, 'G')},
        {"128_high_bytes", highBytes(128)},
        {"16_high_bytes", highBytes(16)},
        {"gbk_text", "\xB6\xAB\xC2\xA5"
                     "203"}, // 东楼203 in code page 936
        {"valid_card", card},
        {"valid_card_and_more", card + "0"},
        {"valid_record", "6B15458D15EA3941"},
        {"valid_record_padded_to_255", "6B15458D15EA3941" + std::string(239, '0')},
        {"valid_time", "2512071430"},
        {"valid_lock_no", "01020399"},
    };
}

void expectNullOutputRefused(int32_t result, const std::string &what)
{
    EXPECT_EQ(result, KELRIN_ERROR_NULL_POINTER) << what;
}

class Bounds : public ::testing::Test
{
protected:
    void SetUp() override
    {
        device.change([](kelrin::DeviceState &state) {
            for (unsigned i = 0; i < kelrin::kMaxRecords; ++i)
                state.addRecord(*kelrin::makeRecord(0xF, "991231235959", kelrin::kMaxDoor));
        });
        ASSERT_EQ(initializeUSB(kType), KELRIN_OK);
    }
    PrivateDevice device;
};

} // namespace

TEST_F(Bounds, DecodersWithHostileText)
{
    for (const Hostile &input : hostileTexts()) {
        GuardedBuffer type(KELRIN_FIELD_SIZE), lockNo(KELRIN_FIELD_SIZE), eTime(KELRIN_FIELD_SIZE),
            record(KELRIN_FIELD_SIZE);
        GetCardTypeByCardDataStr(input.get(), type.data());
        GetGuestLockNoByCardDataStr(kHotel, input.get(), lockNo.data());
        GetGuestETimeByCardDataStr(kHotel, input.get(), eTime.data());
        GetOpenRecordByDataStr(input.get(), record.data());
        type.expectIntact("card type of " + input.name);
        lockNo.expectIntact("lock number of " + input.name);
        eTime.expectIntact("checkout of " + input.name);
        record.expectIntact("open record of " + input.name);

        expectNullOutputRefused(GetCardTypeByCardDataStr(input.get(), nullptr), input.name);
        expectNullOutputRefused(GetGuestLockNoByCardDataStr(kHotel, input.get(), nullptr),
                                input.name);
        expectNullOutputRefused(GetGuestETimeByCardDataStr(kHotel, input.get(), nullptr),
                                input.name);
        expectNullOutputRefused(GetOpenRecordByDataStr(input.get(), nullptr), input.name);
    }
}

TEST_F(Bounds, WritesWithHostileTextInEachTextArgument)
{
    const char *begin = "2512071430", *end = "2612091200", *lockNo = "01020399";
    const uint8_t lost[4] = {0x60, 0x12, 0xD2, 0x91};
    for (const Hostile &input : hostileTexts()) {
        for (int argument = 0; argument < 3; ++argument) {
            GuardedBuffer card(KELRIN_CARD_HEX_SIZE);
            GuestCard(kType, kHotel, 1, 0, 1, 1, argument == 0 ? input.get() : begin,
                      argument == 1 ? input.get() : end, argument == 2 ? input.get() : lockNo,
                      card.data());
            card.expectIntact("guest card with " + input.name + " as argument " +
                              std::to_string(argument));
        }
        GuardedBuffer limit(KELRIN_CARD_HEX_SIZE);
        LimitCard(kType, kHotel, 1, 0, input.get(), lost, limit.data());
        limit.expectIntact("lost-card notice with " + input.name);
    }
    expectNullOutputRefused(GuestCard(kType, kHotel, 1, 0, 1, 1, begin, end, lockNo, nullptr),
                            "guest card");
    expectNullOutputRefused(LimitCard(kType, kHotel, 1, 0, begin, lost, nullptr), "notice");
}

TEST_F(Bounds, DeviceAnswersAtTheirLargest)
{
    for (const bool cardPresent : {true, false}) {
        if (!cardPresent)
            device.change([](kelrin::DeviceState &state) { state.card.reset(); });
        const std::string situation = cardPresent ? " with a card" : " without a card";
        GuardedBuffer read(KELRIN_CARD_HEX_SIZE), erase(KELRIN_CARD_HEX_SIZE),
            records(KELRIN_RECORD_TEXT_SIZE), version(KELRIN_VERSION_SIZE);
        ReadCard(kType, read.data());
        CardErase(kType, kHotel, erase.data());
        ReadRecord(kType, records.data());
        GetDLLVersion(version.data());
        read.expectIntact("read" + situation);
        erase.expectIntact("erase" + situation);
        records.expectIntact("records" + situation);
        version.expectIntact("version");
    }
    expectNullOutputRefused(ReadCard(kType, nullptr), "read");
    expectNullOutputRefused(CardErase(kType, kHotel, nullptr), "erase");
    expectNullOutputRefused(ReadRecord(kType, nullptr), "records");
    expectNullOutputRefused(GetDLLVersion(nullptr), "version");
}

TEST_F(Bounds, FailedDeviceCallsStillEndTheirAnswer)
{
    ASSERT_EQ(CloseUSB(kType), KELRIN_OK);
    GuardedBuffer read(KELRIN_CARD_HEX_SIZE), records(KELRIN_RECORD_TEXT_SIZE);
    EXPECT_EQ(ReadCard(kType, read.data()), KELRIN_ERROR_NOT_OPEN);
    EXPECT_EQ(ReadRecord(kType, records.data()), KELRIN_ERROR_NOT_OPEN);
    read.expectIntact("read on a closed port");
    records.expectIntact("records on a closed port");
}
