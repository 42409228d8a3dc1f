/*
 * kelrin.h - the card-encoder library's C interface.
 *
 * Thirteen functions, as the encoder maker's library exports them. The
 * station links against them at load time; the stand-in library built from
 * kelrin/ exports exactly these, so either can sit beside the program.
 *
 * Every function returns a 32-bit signed result, KELRIN_OK (0) on success.
 * Output buffers belong to the caller and have the fixed capacities below;
 * the library writes NUL-terminated text that never leaves them.
 */
#ifndef KELRIN_H
#define KELRIN_H

#include <stdint.h>

#include "kelrin_result.h"

#if defined(_WIN32) && !defined(_WIN64)
#define KELRIN_CALL __stdcall
#else
#define KELRIN_CALL
#endif

#if defined(_WIN32)
#if defined(KELRIN_BUILDING_LIBRARY)
#define KELRIN_API __declspec(dllexport)
#else
#define KELRIN_API __declspec(dllimport)
#endif
#elif defined(KELRIN_BUILDING_LIBRARY)
#define KELRIN_API __attribute__((visibility("default")))
#else
#define KELRIN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Capacities of the caller's buffers, terminating NUL included. */
enum
{
    KELRIN_CARD_HEX_SIZE = 129,     /* card hex string: up to 128 characters */
    KELRIN_FIELD_SIZE = 17,         /* lockNo, eTime, cardType, decodedRecord */
    KELRIN_VERSION_SIZE = 129,      /* versionText */
    KELRIN_RECORD_TEXT_SIZE = 20001 /* recordText: the door-open record dump */
};

/* Encoder kinds passed as encoderType. */
enum
{
    KELRIN_ENCODER_WITH_DRIVER = 0,
    KELRIN_ENCODER_KELUSB = 1
};

/* Result codes: kelrin_result.h has the enum, with names and texts. Below,
 * each function lists the codes it can answer. Two hold for every function
 * and are not repeated:
 *   KELRIN_ERROR_NULL_POINTER   a pointer argument is null (where it takes one)
 *   KELRIN_ERROR_INTERNAL       an unexpected failure, such as lack of memory
 * and for every device call (initializeUSB, Buzzer, ReadCard, GuestCard,
 * LimitCard, CardErase, ReadRecord) these as well:
 *   KELRIN_ERROR_ENCODER_TYPE   encoderType is neither 0 nor 1
 *   KELRIN_ERROR_NO_DEVICE      no encoder attached
 *   KELRIN_ERROR_WRONG_ENCODER  the attached encoder is of the other type
 *   KELRIN_ERROR_STATE_CORRUPT  the simulated device's state file does not parse
 *   KELRIN_ERROR_STATE_IO       the simulated device's state file cannot be read or written
 * Arguments are checked before the device is touched; a failed call changes
 * nothing on the card.
 *
 * Output buffers: every output is NUL-terminated inside the capacity given
 * with it and nothing is written beyond. After any failure an output buffer
 * holds the empty string. */

/* The Wine bridge (the libKelrin.so built from kelrin-wine/) forwards each
 * call to the encoder maker's Kelrin.dll under Wine and answers what the DLL
 * answers. Where the way to the DLL fails, every function answers one of
 * the bridge's own codes instead (kelrin_result.h, -9001 to -9012), with its
 * output buffer holding the empty string:
 *   KELRIN_BRIDGE_NO_WINE         Wine not found (KELRIN_WINE, or wine on the PATH)
 *   KELRIN_BRIDGE_NO_DLL          no Kelrin.dll beside the program
 *   KELRIN_BRIDGE_NOT_PE          Kelrin.dll is no Windows DLL for i386 or x86-64
 *   KELRIN_BRIDGE_NO_FUNCTION     the DLL does not export this function
 *   KELRIN_BRIDGE_HELPER_ENDED    the helper ended during the call (a crash in
 *                                 the DLL); the next call starts another
 *   KELRIN_BRIDGE_TIMEOUT         no answer within the time limit
 *                                 (KELRIN_BRIDGE_TIMEOUT_MS, default 30 s);
 *                                 the helper was ended, the next call starts another
 *   KELRIN_BRIDGE_NO_HELPER       kelrin-host32.exe or kelrin-host64.exe missing
 *   KELRIN_BRIDGE_PREFIX          the Wine prefix is being prepared apart from the
 *                                 call (a later call uses it), or cannot be
 *   KELRIN_BRIDGE_NO_WINE32       a 32-bit DLL, and Wine runs no 32-bit programs
 *   KELRIN_BRIDGE_DLL_LOAD        Windows would not load the DLL
 *   KELRIN_BRIDGE_HELPER_START    Wine did not start the helper
 *   KELRIN_BRIDGE_PROTOCOL        the helper answered out of protocol
 * A helper started after one that ended first opens the port again when
 * it was open. Below, "the bridge's codes" stands for this list. */

/* The simulated encoder (libKelrin.so) keeps its device in a small text file
 * that its control tool kelrin-sim shows and changes: $KELRIN_SIM_STATE, else
 * $XDG_STATE_HOME/kelrin/device, else ~/.local/state/kelrin/device. Each
 * device call may take a latency set with "kelrin-sim latency MS". Built as
 * a DLL (Kelrin-simulated32.dll, Kelrin-simulated64.dll) and run under Wine,
 * it finds the same file from the same variables; on Windows with none set,
 * %LOCALAPPDATA%\kelrin\device. */

/* Opens the encoder's port, for this process, when an encoder of this type
 * is attached. Opening an open port succeeds again; a failed call leaves the
 * port as it was.
 * [in] encoderType  KELRIN_ENCODER_WITH_DRIVER or KELRIN_ENCODER_KELUSB
 * Returns KELRIN_OK, or one of the device-call codes above.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL initializeUSB(uint8_t encoderType);

/* Closes the encoder's port. Closing a closed port succeeds.
 * [in] encoderType  0 or 1
 * Returns KELRIN_OK or KELRIN_ERROR_ENCODER_TYPE.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL CloseUSB(uint8_t encoderType);

/* Sounds the encoder's buzzer for `duration` units. The simulated buzzer is
 * silent; it counts the beeps, which "kelrin-sim show" tells.
 * [in] duration  0 to 65535
 * Returns KELRIN_OK, the device-call codes, KELRIN_ERROR_DURATION or
 * KELRIN_ERROR_NOT_OPEN.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL Buzzer(uint8_t encoderType, int32_t duration);

/* Reads the card on the encoder.
 * [out] cardHexStr  KELRIN_CARD_HEX_SIZE bytes: the card hex string, 128
 *                   upper-case hex characters whose characters 5-6 read "01".
 *                   With no card on the encoder the call succeeds and answers
 *                   128 zeros, so characters 5-6 read "00".
 * Returns KELRIN_OK, the device-call codes or KELRIN_ERROR_NOT_OPEN.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t encoderType, char *cardHexStr);

/* Writes a guest card onto the card on the encoder, which must be blank or
 * this hotel's.
 * [in]  coID              hotel identifier, 0 to 16777215
 * [in]  cardNo            the card's serial number, 0 or more
 * [in]  dai               0 to 255
 * [in]  canOpenDeadbolt   0 or 1
 * [in]  issueFlag         0 or 1
 * [in]  beginTime, eTime  "YYMMDDHHMM": issue and checkout time, a real date
 *                         (20YY) and time
 * [in]  lockNo            eight digits: building, floor, room, second room
 * [out] cardHexStr        KELRIN_CARD_HEX_SIZE bytes: the written card
 * Returns KELRIN_OK, the device-call codes, or
 *   KELRIN_ERROR_HOTEL_ID, KELRIN_ERROR_CARD_NO, KELRIN_ERROR_DAI,
 *   KELRIN_ERROR_FLAG, KELRIN_ERROR_TIME, KELRIN_ERROR_LOCK_NO  bad argument
 *   KELRIN_ERROR_NOT_OPEN          the port is not open
 *   KELRIN_ERROR_NO_CARD           no card on the encoder
 *   KELRIN_ERROR_OTHER_HOTEL_CARD  the card belongs to another hotel
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, uint8_t canOpenDeadbolt, uint8_t issueFlag,
                                         const char *beginTime, const char *eTime,
                                         const char *lockNo, char *cardHexStr);

/* Writes a lost-card notice naming one lost card onto the card on the
 * encoder, which must be blank or this hotel's. Its type is "4".
 * [in]  coID, cardNo, dai  as for GuestCard
 * [in]  limitTime    "YYMMDDHHMM": from when the lost card is barred
 * [in]  lostCardIds  four bytes: the lost card's number
 * [out] cardHexStr   KELRIN_CARD_HEX_SIZE bytes: the written card
 * Returns KELRIN_OK, the device-call codes, or
 *   KELRIN_ERROR_HOTEL_ID, KELRIN_ERROR_CARD_NO, KELRIN_ERROR_DAI,
 *   KELRIN_ERROR_TIME              bad argument
 *   KELRIN_ERROR_NOT_OPEN          the port is not open
 *   KELRIN_ERROR_NO_CARD           no card on the encoder
 *   KELRIN_ERROR_OTHER_HOTEL_CARD  the card belongs to another hotel
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, const char *limitTime,
                                         const uint8_t *lostCardIds, char *cardHexStr);

/* Erases the card on the encoder, when it is blank or this hotel's: type
 * "F", serial FFFFFFFF, its fixed ID kept.
 * [in]  coID        hotel identifier, 0 to 16777215
 * [out] cardHexStr  KELRIN_CARD_HEX_SIZE bytes: the erased card
 * Returns KELRIN_OK, the device-call codes, or
 *   KELRIN_ERROR_HOTEL_ID          coID out of range
 *   KELRIN_ERROR_NOT_OPEN          the port is not open
 *   KELRIN_ERROR_NO_CARD           no card on the encoder
 *   KELRIN_ERROR_OTHER_HOTEL_CARD  the card belongs to another hotel
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr);

/* Decodes a card's type: one character "0"-"9", "A"-"F" ("6" guest card,
 * "4" lost-card notice, "F" blank). Needs no port.
 * [in]  cardHexStr  a card hex string (hex digits of either case)
 * [out] cardType    KELRIN_FIELD_SIZE bytes
 * Returns KELRIN_OK, or KELRIN_INVALID_DATA for anything but a valid card
 * hex string of 128 characters with a good check value.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType);

/* Decodes a guest card's lock number. Needs no port. Two hotel identifiers
 * are one hotel when their bits 16-23 and their low 14 bits agree, as the
 * station reads them back from a card.
 * [in]  coID        hotel identifier
 * [in]  cardHexStr  a card hex string
 * [out] lockNo      KELRIN_FIELD_SIZE bytes: eight digits
 * Returns
 *   KELRIN_OK              decoded
 *   KELRIN_INVALID_DATA    (1) not a valid card hex string
 *   KELRIN_OTHER_HOTEL     (2) a card of another hotel (any coID outside
 *                          0 to 16777215 is another hotel)
 *   KELRIN_NOT_GUEST_CARD  (3) not a guest card; a blank card is this, not 2
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                           char *lockNo);

/* Decodes a guest card's checkout time. Needs no port.
 * [in]  coID, cardHexStr  as for GetGuestLockNoByCardDataStr
 * [out] eTime             KELRIN_FIELD_SIZE bytes: ten digits "YYMMDDHHMM"
 * Returns the same codes as GetGuestLockNoByCardDataStr.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr,
                                                          char *eTime);

/* Reads the locks' door-open record dump: a header of 592 characters, then
 * a block of 74 characters per four records (6 lead, four records of 16, a
 * 4-character block check). Record i (0-223) sits at 1-based position
 * 599 + 74 * (i / 4) + 16 * (i % 4); unused slots of the last block read
 * "FFFFFFFFFFFFFFFF". At most 224 records, 4736 characters.
 * [out] recordText  KELRIN_RECORD_TEXT_SIZE bytes
 * Returns KELRIN_OK, the device-call codes or KELRIN_ERROR_NOT_OPEN.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL ReadRecord(uint8_t encoderType, char *recordText);

/* Decodes one 16-character open record. Needs no port.
 * [in]  recordHex      exactly 16 hex characters of a sealed record
 * [out] decodedRecord  KELRIN_FIELD_SIZE bytes: 16 characters, the card type
 *                      character, "YYMMDDhhmmss", then the door as three hex
 *                      digits (000-7FF)
 * Returns KELRIN_OK, or KELRIN_INVALID_DATA for anything else: another
 * length, non-hex, a broken seal or an impossible date.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord);

/* The library's version text, such as "Kelrin simulator 1.0 (card layout 1)".
 * [out] versionText  KELRIN_VERSION_SIZE bytes
 * Returns KELRIN_OK.
 * Through the bridge, also the bridge's codes. */
KELRIN_API int32_t KELRIN_CALL GetDLLVersion(char *versionText);

#ifdef __cplusplus
}
#endif

#endif /* KELRIN_H */
