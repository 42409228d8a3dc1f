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

/* The result codes every function can answer are listed in kelrin_result.h. */

/* Opens the encoder's port. */
KELRIN_API int32_t KELRIN_CALL initializeUSB(uint8_t encoderType);

/* Closes the encoder's port. */
KELRIN_API int32_t KELRIN_CALL CloseUSB(uint8_t encoderType);

/* Sounds the encoder's buzzer for `duration` units. */
KELRIN_API int32_t KELRIN_CALL Buzzer(uint8_t encoderType, int32_t duration);

/* Reads the card on the encoder.
 * [out] cardHexStr  KELRIN_CARD_HEX_SIZE bytes: the card hex string. */
KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t encoderType, char *cardHexStr);

/* Writes a guest card onto the card on the encoder.
 * [in]  beginTime, eTime  "YYMMDDHHMM": issue and checkout time
 * [in]  lockNo            eight digits: building, floor, room, second room
 * [out] cardHexStr        KELRIN_CARD_HEX_SIZE bytes: the written card */
KELRIN_API int32_t KELRIN_CALL GuestCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, uint8_t canOpenDeadbolt, uint8_t issueFlag,
                                         const char *beginTime, const char *eTime,
                                         const char *lockNo, char *cardHexStr);

/* Writes a lost-card notice naming one lost card onto the card on the encoder.
 * [in]  limitTime    "YYMMDDHHMM"
 * [in]  lostCardIds  four bytes: the lost card's number
 * [out] cardHexStr   KELRIN_CARD_HEX_SIZE bytes: the written card */
KELRIN_API int32_t KELRIN_CALL LimitCard(uint8_t encoderType, int32_t coID, int32_t cardNo,
                                         int32_t dai, const char *limitTime,
                                         const uint8_t *lostCardIds, char *cardHexStr);

/* Erases the card on the encoder.
 * [out] cardHexStr  KELRIN_CARD_HEX_SIZE bytes: the erased card */
KELRIN_API int32_t KELRIN_CALL CardErase(uint8_t encoderType, int32_t coID, char *cardHexStr);

/* Decodes a card's type: one character "0"-"9", "A"-"F".
 * [out] cardType  KELRIN_FIELD_SIZE bytes */
KELRIN_API int32_t KELRIN_CALL GetCardTypeByCardDataStr(const char *cardHexStr, char *cardType);

/* Decodes a guest card's lock number.
 * [out] lockNo  KELRIN_FIELD_SIZE bytes */
KELRIN_API int32_t KELRIN_CALL GetGuestLockNoByCardDataStr(int32_t coID, const char *cardHexStr,
                                                           char *lockNo);

/* Decodes a guest card's checkout time.
 * [out] eTime  KELRIN_FIELD_SIZE bytes */
KELRIN_API int32_t KELRIN_CALL GetGuestETimeByCardDataStr(int32_t coID, const char *cardHexStr,
                                                          char *eTime);

/* Reads the locks' door-open record dump.
 * [out] recordText  KELRIN_RECORD_TEXT_SIZE bytes */
KELRIN_API int32_t KELRIN_CALL ReadRecord(uint8_t encoderType, char *recordText);

/* Decodes one 16-character open record.
 * [out] decodedRecord  KELRIN_FIELD_SIZE bytes: type, then YYMMDDhhmmss, ... */
KELRIN_API int32_t KELRIN_CALL GetOpenRecordByDataStr(const char *recordHex, char *decodedRecord);

/* The library's version text.
 * [out] versionText  KELRIN_VERSION_SIZE bytes */
KELRIN_API int32_t KELRIN_CALL GetDLLVersion(char *versionText);

#ifdef __cplusplus
}
#endif

#endif /* KELRIN_H */
