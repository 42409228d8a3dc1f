// A card-encoder DLL for the bridge's serial test, as a maker's DLL for an
// encoder behind a USB serial adapter talks to it: ReadCard opens the COM
// port named by KELRIN_TEST_COM (e.g. "COM7"), sets 9600 baud 8N1, sends
// "READ <encoderType>\r\n" and reads one answer line, "CARD <hex>\r\n",
// whose hex becomes the card hex string. Its own result codes:
//   -1 the port does not open      -2 the line cannot be set
//   -3 the request cannot be sent  -4 no complete answer (the read failed,
//                                     or nothing came within 3 s)
//   -5 an answer that is not "CARD <hex>"
#define KELRIN_BUILDING_LIBRARY
#include "kelrin.h"

#include <windows.h>

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

} // namespace

extern "C" KELRIN_API int32_t KELRIN_CALL ReadCard(uint8_t encoderType, char *cardHexStr)
{
    if (cardHexStr)
        cardHexStr[0] = '\0';
    char com[32] = "COM1";
    ::GetEnvironmentVariableA("KELRIN_TEST_COM", com, sizeof com);
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
