// kelrin-beeper64.exe DLL STOP: a writer of the simulated device on the
// Windows side. Loads the encoder DLL (paths in Unix form under Wine), opens
// the port, then sounds the buzzer until the file STOP exists: at least
// once. Prints "ready" after the first beep and "beeps N" at the end; a call
// that fails ends it with "NAME answered CODE" and status 1, and so does a
// minute without the stop file, so that a test that failed leaves no beeper.
#include "WinePath.h"
#include "kelrin.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

template <class Fn> Fn find(HMODULE dll, const char *name)
{
    const FARPROC proc = GetProcAddress(dll, name);
    if (!proc) {
        std::printf("%s missing\n", name);
        std::exit(1);
    }
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(proc));
}

void check(const char *name, std::int32_t result)
{
    if (result != KELRIN_OK) {
        std::printf("%s answered %d\n", name, static_cast<int>(result));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::printf("usage: kelrin-beeper DLL STOP\n");
        return 2;
    }
    const HMODULE dll = LoadLibraryW(kelrin::wine::windowsPath(argv[1]).c_str());
    if (!dll) {
        std::printf("cannot load %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    const auto open = find<decltype(&initializeUSB)>(dll, "initializeUSB");
    const auto buzzer = find<decltype(&Buzzer)>(dll, "Buzzer");
    const std::wstring stop = kelrin::wine::windowsPath(argv[2]);
    _setmode(_fileno(stdout), _O_BINARY); // lines end in LF, as on Linux
    const ULONGLONG deadline = GetTickCount64() + 60000;

    check("initializeUSB", open(KELRIN_ENCODER_KELUSB));
    unsigned long beeps = 0;
    do {
        check("Buzzer", buzzer(KELRIN_ENCODER_KELUSB, 1));
        if (++beeps == 1) {
            std::printf("ready\n");
            std::fflush(stdout);
        }
        if (GetTickCount64() > deadline) {
            std::printf("no stop file after a minute\n");
            return 1;
        }
    } while (GetFileAttributesW(stop.c_str()) == INVALID_FILE_ATTRIBUTES);
    std::printf("beeps %lu\n", beeps);
    return 0;
}
