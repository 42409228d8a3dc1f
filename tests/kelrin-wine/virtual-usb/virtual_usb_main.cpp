// virtual-usb: runs a command with the virtual USB encoder with a driver
// present, for the real program's tests: the model lives in this process,
// the command runs under umockdev's preload with its testbed, and this
// process ends with the command's status.
//
//   virtual-usb [--card HEX] -- COMMAND [ARGS...]
#include "usb_model.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string bytesOf(const std::string &hex)
{
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return bytes;
}

} // namespace

int main(int argc, char *argv[])
{
    int first = 1;
    std::string card;
    if (first + 1 < argc && std::strcmp(argv[first], "--card") == 0) {
        card = argv[first + 1];
        first += 2;
    }
    if (first >= argc || std::strcmp(argv[first], "--") != 0 || first + 1 >= argc) {
        std::fputs("usage: virtual-usb [--card HEX] -- COMMAND [ARGS...]\n", stderr);
        return 2;
    }
    kelrin::test::UsbModel model;
    if (!card.empty())
        model.setCard(bytesOf(card));
    const char *preload = std::getenv("LD_PRELOAD");
    const std::string umockdev = "libumockdev-preload.so.0";
    ::setenv("LD_PRELOAD", (preload && *preload ? umockdev + ":" + preload : umockdev).c_str(), 1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[first + 1], argv + first + 1);
        std::perror(argv[first + 1]);
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
