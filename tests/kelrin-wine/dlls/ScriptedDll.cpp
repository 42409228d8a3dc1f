// A card-encoder DLL for the bridge's tests: the thirteen functions answer
// from a script and log every call with all its arguments, as the widget
// tests' scripted encoder does, so a test sees exactly what crossed the
// bridge. Built in variants (see CMakeLists.txt): plain or decorated export
// names, one function left out, a companion DLL needed.
//
// KELRIN_TEST_LOG names the log (a Unix path under Wine): one line per call,
// written before the call acts, so a crash or a hang still leaves it:
//   Name ARG ARG ...   numbers in decimal; texts as t=HEX of their bytes;
//                      lostCardIds as b=HEX; null pointers as "null";
//                      output buffers as "out"
// KELRIN_TEST_SCRIPT names the script: one reply per line, taken by the
// next call of that function and removed from the file, so a helper
// started anew after a crash goes on where the last one ended:
//   Name RESULT untouched       leaves the output as it came
//   Name RESULT empty           a NUL in its first byte
//   Name RESULT text HEX        these bytes, then a NUL if it fits
//   Name RESULT fill HEXBYTE    every byte of the capacity, no NUL
//   Name RESULT chatter         prints to standard output, then untouched
//   Name RESULT crash           an access violation
//   Name RESULT hang            never returns
//   Name RESULT msgbox HEX      a message box with these bytes (code page 936)
//                               as caption and text; logs "msgbox N" with
//                               what MessageBoxA returned
//   Name RESULT readfile NAME   opens NAME (in hex) by that relative name and
//                               gives its bytes as output; -100 when it
//                               cannot be opened
//   Name RESULT codepages       "ACP OEMCP" as output (GetACP, GetOEMCP)
//   Name RESULT openwindow      a window shown on the screen, never closed,
//                               and never returns; logs "window made"
//   Name RESULT hiddenwindow    a window never shown, likewise
//   Name RESULT offscreenwindow a window shown far off the screen, likewise
// A call with no reply in the script answers 0, its output untouched.
// KELRIN_TEST_LOAD=hang: DllMain logs "DllMain hang" and never returns, as a
// DLL that waits at load for a device that never comes.
#define KELRIN_BUILDING_LIBRARY
#include "WinePath.h"
#include "kelrin.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN64)
// x86-64 has no decoration: each function gets the export name wanted
// through its assembler name. KELRIN_TEST_NAMES 0 plain, 1 "Name@N" as
// mingw decorates 32-bit __stdcall, 2 "_Name@N" as other compilers do.
#if KELRIN_TEST_NAMES == 0
#define KELRIN_TEST_EXPORT(name, bytes) __asm__(#name)
#elif KELRIN_TEST_NAMES == 1
#define KELRIN_TEST_EXPORT(name, bytes) __asm__(#name "@" #bytes)
#else
#define KELRIN_TEST_EXPORT(name, bytes) __asm__("_" #name "@" #bytes)
#endif
#define KELRIN_TEST_DECLARE(name, bytes, params)                                                   \
    extern "C" __declspec(dllexport) int32_t scripted_##name params KELRIN_TEST_EXPORT(name, bytes);
#define KELRIN_TEST_DEFINE(name) int32_t scripted_##name
#else
// i386: the __stdcall declarations of kelrin.h, which mingw exports as
// "Name@N", and with --kill-at as plain names.
#define KELRIN_TEST_DECLARE(name, bytes, params)
#define KELRIN_TEST_DEFINE(name) int32_t KELRIN_CALL name
#endif

#ifdef KELRIN_TEST_COMPANION
// A DLL that needs a companion beside it, as a maker's DLL may.
extern "C" __declspec(dllimport) int companionValue();
#endif

namespace {

std::string hex(const void *data, std::size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const auto byte = static_cast<const unsigned char *>(data)[i];
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

std::string unhex(const std::string &text)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2)
        bytes += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
    return bytes;
}

std::string num(long long value)
{
    return std::to_string(value);
}

std::string text(const char *value)
{
    return value ? "t=" + hex(value, std::strlen(value)) : "null";
}

[[maybe_unused]] std::string four(const uint8_t *value)
{
    return value ? "b=" + hex(value, 4) : "null";
}

std::string out(const char *buffer)
{
    return buffer ? "out" : "null";
}

std::wstring fileNamed(const char *variable)
{
    const char *value = std::getenv(variable);
    return value ? kelrin::wine::windowsPath(value) : std::wstring();
}

void log(const std::string &line)
{
    const std::wstring path = fileNamed("KELRIN_TEST_LOG");
    if (path.empty())
        return;
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::app);
    file << line << '\n';
}

// The first reply for `function`, taken out of the script.
std::vector<std::string> takeReply(const std::string &function)
{
    const std::wstring path = fileNamed("KELRIN_TEST_SCRIPT");
    if (path.empty())
        return {};
    std::ifstream in(path.c_str(), std::ios::binary);
    std::vector<std::string> lines;
    std::vector<std::string> reply;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::vector<std::string> parts;
        for (std::string word; words >> word;)
            parts.push_back(word);
        if (reply.empty() && parts.size() >= 3 && parts[0] == function)
            reply = parts;
        else
            lines.push_back(line);
    }
    in.close();
    if (!reply.empty()) {
        std::ofstream rewritten(path.c_str(), std::ios::binary | std::ios::trunc);
        for (const std::string &line : lines)
            rewritten << line << '\n';
    }
    return reply;
}

int32_t answer(const char *function, const std::vector<std::string> &args, char *buffer,
               std::size_t capacity)
{
    std::string line = function;
    for (const std::string &arg : args)
        line += ' ' + arg;
    log(line);
    const std::vector<std::string> reply = takeReply(function);
    if (reply.empty())
        return 0;
    const auto result = static_cast<int32_t>(std::stoll(reply[1]));
    const std::string &mode = reply[2];
    const std::string data = reply.size() > 3 ? unhex(reply[3]) : std::string();
    if (mode == "crash") {
        volatile int *nowhere = nullptr;
        *nowhere = 1;
    } else if (mode == "hang") {
        for (;;)
            Sleep(INFINITE);
    } else if (mode == "msgbox") {
        const int answered = MessageBoxA(nullptr, data.c_str(), data.c_str(), MB_OK);
        log("msgbox " + num(answered));
    } else if (mode == "readfile") {
        std::ifstream file(data, std::ios::binary);
        if (!file)
            return -100;
        const std::string bytes((std::istreambuf_iterator<char>(file)), {});
        if (buffer)
            std::snprintf(buffer, capacity, "%s", bytes.c_str());
    } else if (mode == "codepages") {
        if (buffer)
            std::snprintf(buffer, capacity, "%u %u", GetACP(), GetOEMCP());
    } else if (mode.ends_with("window")) {
        // A window the DLL opens and never closes, as the clerk would see it
        // (or not): its messages are served for ever.
        const bool offscreen = mode == "offscreenwindow";
        HWND window = CreateWindowExA(0, "STATIC", "Kelrin window", WS_OVERLAPPEDWINDOW,
                                      offscreen ? -20000 : 100, offscreen ? -20000 : 100, 300, 200,
                                      nullptr, nullptr, nullptr, nullptr);
        if (window && mode != "hiddenwindow")
            ShowWindow(window, SW_SHOWNORMAL);
        log(window ? "window made" : "window failed");
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0)
            DispatchMessageA(&message);
    } else if (mode == "chatter") {
        std::printf("chatter from the DLL\n");
        std::fflush(stdout);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "more chatter\n", 13, &written, nullptr);
    } else if (buffer && mode == "empty") {
        buffer[0] = '\0';
    } else if (buffer && mode == "text") {
        const std::size_t count = std::min(data.size(), capacity);
        std::memcpy(buffer, data.data(), count);
        if (count < capacity)
            buffer[count] = '\0';
    } else if (buffer && mode == "fill") {
        std::memset(buffer, data.empty() ? 'F' : data[0], capacity);
    }
    return result;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    const char *load = std::getenv("KELRIN_TEST_LOAD");
    if (reason == DLL_PROCESS_ATTACH && load && std::strcmp(load, "hang") == 0) {
        log("DllMain hang");
        Sleep(INFINITE);
    }
    return TRUE;
}

KELRIN_TEST_DECLARE(initializeUSB, 4, (uint8_t encoderType))
KELRIN_TEST_DECLARE(CloseUSB, 4, (uint8_t encoderType))
KELRIN_TEST_DECLARE(Buzzer, 8, (uint8_t encoderType, int32_t duration))
KELRIN_TEST_DECLARE(ReadCard, 8, (uint8_t encoderType, char *cardHexStr))
KELRIN_TEST_DECLARE(GuestCard, 40,
                    (uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                     uint8_t canOpenDeadbolt, uint8_t issueFlag, const char *beginTime,
                     const char *eTime, const char *lockNo, char *cardHexStr))
#ifndef KELRIN_TEST_WITHOUT_LIMITCARD
KELRIN_TEST_DECLARE(LimitCard, 28,
                    (uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai,
                     const char *limitTime, const uint8_t *lostCardIds, char *cardHexStr))
#endif
KELRIN_TEST_DECLARE(CardErase, 12, (uint8_t encoderType, int32_t coID, char *cardHexStr))
KELRIN_TEST_DECLARE(GetCardTypeByCardDataStr, 8, (const char *cardHexStr, char *cardType))
KELRIN_TEST_DECLARE(GetGuestLockNoByCardDataStr, 12,
                    (int32_t coID, const char *cardHexStr, char *lockNo))
KELRIN_TEST_DECLARE(GetGuestETimeByCardDataStr, 12,
                    (int32_t coID, const char *cardHexStr, char *eTime))
KELRIN_TEST_DECLARE(ReadRecord, 8, (uint8_t encoderType, char *recordText))
KELRIN_TEST_DECLARE(GetOpenRecordByDataStr, 8, (const char *recordHex, char *decodedRecord))
KELRIN_TEST_DECLARE(GetDLLVersion, 4, (char *versionText))

KELRIN_TEST_DEFINE(initializeUSB)(uint8_t encoderType)
{
    return answer("initializeUSB", {num(encoderType)}, nullptr, 0);
}

KELRIN_TEST_DEFINE(CloseUSB)(uint8_t encoderType)
{
    return answer("CloseUSB", {num(encoderType)}, nullptr, 0);
}

KELRIN_TEST_DEFINE(Buzzer)(uint8_t encoderType, int32_t duration)
{
    return answer("Buzzer", {num(encoderType), num(duration)}, nullptr, 0);
}

KELRIN_TEST_DEFINE(ReadCard)(uint8_t encoderType, char *cardHexStr)
{
    return answer("ReadCard", {num(encoderType), out(cardHexStr)}, cardHexStr,
                  KELRIN_CARD_HEX_SIZE);
}

KELRIN_TEST_DEFINE(GuestCard)
(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai, uint8_t canOpenDeadbolt,
 uint8_t issueFlag, const char *beginTime, const char *eTime, const char *lockNo, char *cardHexStr)
{
    return answer("GuestCard",
                  {num(encoderType), num(coID), num(cardNo), num(dai), num(canOpenDeadbolt),
                   num(issueFlag), text(beginTime), text(eTime), text(lockNo), out(cardHexStr)},
                  cardHexStr, KELRIN_CARD_HEX_SIZE);
}

#ifndef KELRIN_TEST_WITHOUT_LIMITCARD
KELRIN_TEST_DEFINE(LimitCard)
(uint8_t encoderType, int32_t coID, int32_t cardNo, int32_t dai, const char *limitTime,
 const uint8_t *lostCardIds, char *cardHexStr)
{
    return answer("LimitCard",
                  {num(encoderType), num(coID), num(cardNo), num(dai), text(limitTime),
                   four(lostCardIds), out(cardHexStr)},
                  cardHexStr, KELRIN_CARD_HEX_SIZE);
}
#endif

KELRIN_TEST_DEFINE(CardErase)(uint8_t encoderType, int32_t coID, char *cardHexStr)
{
    return answer("CardErase", {num(encoderType), num(coID), out(cardHexStr)}, cardHexStr,
                  KELRIN_CARD_HEX_SIZE);
}

KELRIN_TEST_DEFINE(GetCardTypeByCardDataStr)(const char *cardHexStr, char *cardType)
{
    return answer("GetCardTypeByCardDataStr", {text(cardHexStr), out(cardType)}, cardType,
                  KELRIN_FIELD_SIZE);
}

KELRIN_TEST_DEFINE(GetGuestLockNoByCardDataStr)(int32_t coID, const char *cardHexStr, char *lockNo)
{
    return answer("GetGuestLockNoByCardDataStr", {num(coID), text(cardHexStr), out(lockNo)}, lockNo,
                  KELRIN_FIELD_SIZE);
}

KELRIN_TEST_DEFINE(GetGuestETimeByCardDataStr)(int32_t coID, const char *cardHexStr, char *eTime)
{
    return answer("GetGuestETimeByCardDataStr", {num(coID), text(cardHexStr), out(eTime)}, eTime,
                  KELRIN_FIELD_SIZE);
}

KELRIN_TEST_DEFINE(ReadRecord)(uint8_t encoderType, char *recordText)
{
    return answer("ReadRecord", {num(encoderType), out(recordText)}, recordText,
                  KELRIN_RECORD_TEXT_SIZE);
}

KELRIN_TEST_DEFINE(GetOpenRecordByDataStr)(const char *recordHex, char *decodedRecord)
{
    return answer("GetOpenRecordByDataStr", {text(recordHex), out(decodedRecord)}, decodedRecord,
                  KELRIN_FIELD_SIZE);
}

KELRIN_TEST_DEFINE(GetDLLVersion)(char *versionText)
{
#ifdef KELRIN_TEST_COMPANION
    if (companionValue() != 42)
        return -1;
#endif
    return answer("GetDLLVersion", {out(versionText)}, versionText, KELRIN_VERSION_SIZE);
}
