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
 * kelrin_result_name() and kelrin_result_text() answer for a code of either
 * table below, whichever range it is in.
 *
 * The Wine bridge (kelrin-wine/), which forwards the calls to a Windows
 * library, answers codes of its own when the way to that library fails: a
 * range of their own, -9001 to -9012, far from any code an encoder maker's
 * library is likely to use, with a table of their own that changes with
 * their enum in the same way.
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

enum kelrin_bridge_result
{
    /** Wine is not there: no `wine` on the PATH, or KELRIN_WINE names no program. */
    KELRIN_BRIDGE_NO_WINE = -9001,
    /** No Kelrin.dll (in any letter case) in the program's folder. */
    KELRIN_BRIDGE_NO_DLL = -9002,
    /** Kelrin.dll is not a Windows DLL for i386 or x86-64. */
    KELRIN_BRIDGE_NOT_PE = -9003,
    /** The DLL does not export this function, under any of its names. */
    KELRIN_BRIDGE_NO_FUNCTION = -9004,
    /** The helper ended during the call: the DLL crashed, or the helper was killed. */
    KELRIN_BRIDGE_HELPER_ENDED = -9005,
    /** The call was not answered within the time limit; the helper was ended. */
    KELRIN_BRIDGE_TIMEOUT = -9006,
    /** The helper program for the DLL's word size is not beside the bridge. */
    KELRIN_BRIDGE_NO_HELPER = -9007,
    /** The Wine prefix is being prepared (a later call uses it), or cannot be prepared. */
    KELRIN_BRIDGE_PREFIX = -9008,
    /** The DLL is 32-bit, and this machine's Wine runs no 32-bit programs. */
    KELRIN_BRIDGE_NO_WINE32 = -9009,
    /** Windows would not load the DLL: a DLL it needs is missing, or its start failed. */
    KELRIN_BRIDGE_DLL_LOAD = -9010,
    /** Wine did not start the helper. */
    KELRIN_BRIDGE_HELPER_START = -9011,
    /** The helper answered outside the protocol; it was ended. */
    KELRIN_BRIDGE_PROTOCOL = -9012
};

/** The bridge's codes run from KELRIN_BRIDGE_RESULT_LOWEST to KELRIN_BRIDGE_RESULT_HIGHEST. */
#define KELRIN_BRIDGE_RESULT_HIGHEST KELRIN_BRIDGE_NO_WINE
#define KELRIN_BRIDGE_RESULT_LOWEST KELRIN_BRIDGE_PROTOCOL

/** The table row of one of the bridge's codes, or NULL for any other value. */
static inline const struct kelrin_result_row *kelrin_bridge_result_entry(int32_t result)
{
    static const struct kelrin_result_row rows[] = {
        {KELRIN_BRIDGE_NO_WINE, "KELRIN_BRIDGE_NO_WINE", "Wine not found"},
        {KELRIN_BRIDGE_NO_DLL, "KELRIN_BRIDGE_NO_DLL", "Kelrin.dll not found beside the program"},
        {KELRIN_BRIDGE_NOT_PE, "KELRIN_BRIDGE_NOT_PE",
         "Kelrin.dll is not a Windows DLL for i386 or x86-64"},
        {KELRIN_BRIDGE_NO_FUNCTION, "KELRIN_BRIDGE_NO_FUNCTION", "Function missing from the DLL"},
        {KELRIN_BRIDGE_HELPER_ENDED, "KELRIN_BRIDGE_HELPER_ENDED",
         "The Windows helper ended during the call"},
        {KELRIN_BRIDGE_TIMEOUT, "KELRIN_BRIDGE_TIMEOUT",
         "No answer within the time limit; the helper was ended"},
        {KELRIN_BRIDGE_NO_HELPER, "KELRIN_BRIDGE_NO_HELPER",
         "The Windows helper is missing beside the bridge"},
        {KELRIN_BRIDGE_PREFIX, "KELRIN_BRIDGE_PREFIX",
         "The Wine prefix is being prepared, or cannot be"},
        {KELRIN_BRIDGE_NO_WINE32, "KELRIN_BRIDGE_NO_WINE32",
         "32-bit DLL, but Wine runs no 32-bit programs here"},
        {KELRIN_BRIDGE_DLL_LOAD, "KELRIN_BRIDGE_DLL_LOAD", "Windows would not load Kelrin.dll"},
        {KELRIN_BRIDGE_HELPER_START, "KELRIN_BRIDGE_HELPER_START",
         "Wine did not start the Windows helper"},
        {KELRIN_BRIDGE_PROTOCOL, "KELRIN_BRIDGE_PROTOCOL",
         "The Windows helper answered out of protocol"},
    };
    size_t i;
    for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
        if (rows[i].code == result)
            return &rows[i];
    }
    return NULL;
}

/** The row of a code of either range, the stand-in's or the bridge's, or NULL. */
static inline const struct kelrin_result_row *kelrin_any_result_entry(int32_t result)
{
    const struct kelrin_result_row *row = kelrin_result_entry(result);
    return row ? row : kelrin_bridge_result_entry(result);
}

/** The enumerator's name of a result code of either range, "KELRIN_UNKNOWN_RESULT" for any other
 * value. */
static inline const char *kelrin_result_name(int32_t result)
{
    const struct kelrin_result_row *row = kelrin_any_result_entry(result);
    return row ? row->name : "KELRIN_UNKNOWN_RESULT";
}

/** A short English description of a result code of either range, "Unknown result" for any other
 * value. */
static inline const char *kelrin_result_text(int32_t result)
{
    const struct kelrin_result_row *row = kelrin_any_result_entry(result);
    return row ? row->text : "Unknown result";
}

#ifdef __cplusplus
}
#endif

#endif /* KELRIN_RESULT_H */
