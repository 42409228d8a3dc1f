/*
 * kelrin_result.h - the result codes of the card-encoder library.
 *
 * Every function of kelrin.h returns one of these as a 32-bit signed value.
 * Zero is success. The positive codes 1-3 are the decoders' answers, which
 * the station reads by number. Negative codes are argument and device
 * failures; kelrin.h lists, per function, the ones it can return.
 *
 * The enum and the table in kelrin_result_entry() change together: a code
 * without a row there reads as "KELRIN_UNKNOWN_RESULT", and the library's
 * tests fail on it. KELRIN_RESULT_LOWEST names the most negative code.
 */
#ifndef KELRIN_RESULT_H
#define KELRIN_RESULT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum kelrin_result
{
    /** Success. */
    KELRIN_OK = 0,
    /** The card hex string or open record is not valid: wrong length, not
     * hexadecimal, a failed check value or fields that do not decode. */
    KELRIN_INVALID_DATA = 1,
    /** The card belongs to another hotel than coID. */
    KELRIN_OTHER_HOTEL = 2,
    /** The card is not a guest card (a blank card included). */
    KELRIN_NOT_GUEST_CARD = 3,

    /** A pointer argument is null. */
    KELRIN_ERROR_NULL_POINTER = -1,
    /** encoderType is neither 0 nor 1. */
    KELRIN_ERROR_ENCODER_TYPE = -2,
    /** The port is not open: initializeUSB has not succeeded since the last CloseUSB. */
    KELRIN_ERROR_NOT_OPEN = -3,
    /** No encoder is attached. */
    KELRIN_ERROR_NO_DEVICE = -4,
    /** The attached encoder is of the other kind than encoderType. */
    KELRIN_ERROR_WRONG_ENCODER = -5,
    /** No card lies on the encoder. */
    KELRIN_ERROR_NO_CARD = -6,
    /** The card on the encoder belongs to another hotel; it was left as it was. */
    KELRIN_ERROR_OTHER_HOTEL_CARD = -7,
    /** coID is outside 0 to 16777215 (three bytes). */
    KELRIN_ERROR_HOTEL_ID = -8,
    /** cardNo is negative. */
    KELRIN_ERROR_CARD_NO = -9,
    /** dai is outside 0 to 255. */
    KELRIN_ERROR_DAI = -10,
    /** canOpenDeadbolt or issueFlag is neither 0 nor 1. */
    KELRIN_ERROR_FLAG = -11,
    /** A time is not ten digits "YYMMDDHHMM" of a real date, hour 00-23, minute 00-59. */
    KELRIN_ERROR_TIME = -12,
    /** lockNo is not exactly eight decimal digits. */
    KELRIN_ERROR_LOCK_NO = -13,
    /** The buzzer duration is outside 0 to 65535. */
    KELRIN_ERROR_DURATION = -14,
    /** The simulated device's state file does not parse; it was left as it
     * was. "kelrin-sim show" tells what is wrong, "kelrin-sim reset" starts afresh. */
    KELRIN_ERROR_STATE_CORRUPT = -15,
    /** The simulated device's state file cannot be read or written. */
    KELRIN_ERROR_STATE_IO = -16,
    /** An unexpected failure inside the library, such as lack of memory. */
    KELRIN_ERROR_INTERNAL = -17
};

/** The most negative result code: every value from it to KELRIN_NOT_GUEST_CARD is a code. */
#define KELRIN_RESULT_LOWEST KELRIN_ERROR_INTERNAL

struct kelrin_result_row
{
    int32_t code;
    const char *name;
    const char *text;
};

/** The table row of a result code, or NULL when the value is no code. */
static inline const struct kelrin_result_row *kelrin_result_entry(int32_t result)
{
    static const struct kelrin_result_row rows[] = {
        {KELRIN_OK, "KELRIN_OK", "Success"},
        {KELRIN_INVALID_DATA, "KELRIN_INVALID_DATA", "Invalid card or record data"},
        {KELRIN_OTHER_HOTEL, "KELRIN_OTHER_HOTEL", "Card of another hotel"},
        {KELRIN_NOT_GUEST_CARD, "KELRIN_NOT_GUEST_CARD", "Not a guest card"},
        {KELRIN_ERROR_NULL_POINTER, "KELRIN_ERROR_NULL_POINTER", "Null pointer argument"},
        {KELRIN_ERROR_ENCODER_TYPE, "KELRIN_ERROR_ENCODER_TYPE", "Encoder type is not 0 or 1"},
        {KELRIN_ERROR_NOT_OPEN, "KELRIN_ERROR_NOT_OPEN", "Encoder port is not open"},
        {KELRIN_ERROR_NO_DEVICE, "KELRIN_ERROR_NO_DEVICE", "No encoder attached"},
        {KELRIN_ERROR_WRONG_ENCODER, "KELRIN_ERROR_WRONG_ENCODER",
         "The attached encoder is of another type"},
        {KELRIN_ERROR_NO_CARD, "KELRIN_ERROR_NO_CARD", "No card on the encoder"},
        {KELRIN_ERROR_OTHER_HOTEL_CARD, "KELRIN_ERROR_OTHER_HOTEL_CARD",
         "The card on the encoder belongs to another hotel"},
        {KELRIN_ERROR_HOTEL_ID, "KELRIN_ERROR_HOTEL_ID", "Hotel identifier out of range"},
        {KELRIN_ERROR_CARD_NO, "KELRIN_ERROR_CARD_NO", "Card number is negative"},
        {KELRIN_ERROR_DAI, "KELRIN_ERROR_DAI", "dai out of range 0-255"},
        {KELRIN_ERROR_FLAG, "KELRIN_ERROR_FLAG", "Flag is not 0 or 1"},
        {KELRIN_ERROR_TIME, "KELRIN_ERROR_TIME", "Time is not a valid YYMMDDHHMM"},
        {KELRIN_ERROR_LOCK_NO, "KELRIN_ERROR_LOCK_NO", "Lock number is not eight digits"},
        {KELRIN_ERROR_DURATION, "KELRIN_ERROR_DURATION", "Buzzer duration out of range"},
        {KELRIN_ERROR_STATE_CORRUPT, "KELRIN_ERROR_STATE_CORRUPT",
         "Simulated device state is corrupt (kelrin-sim reset)"},
        {KELRIN_ERROR_STATE_IO, "KELRIN_ERROR_STATE_IO",
         "Simulated device state cannot be read or written"},
        {KELRIN_ERROR_INTERNAL, "KELRIN_ERROR_INTERNAL", "Internal failure"},
    };
    size_t i;
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        if (rows[i].code == result)
            return &rows[i];
    }
    return NULL;
}

/** The enumerator's name of a result code, "KELRIN_UNKNOWN_RESULT" for any other value. */
static inline const char *kelrin_result_name(int32_t result)
{
    const struct kelrin_result_row *row = kelrin_result_entry(result);
    return row ? row->name : "KELRIN_UNKNOWN_RESULT";
}

/** A short English description of a result code, "Unknown result" for any other value. */
static inline const char *kelrin_result_text(int32_t result)
{
    const struct kelrin_result_row *row = kelrin_result_entry(result);
    return row ? row->text : "Unknown result";
}

#ifdef __cplusplus
}
#endif

#endif /* KELRIN_RESULT_H */
