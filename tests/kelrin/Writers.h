#pragma once
// kelrin-sim run as a program, and writers in several processes changing one
// device at once, as the station, the tool and the DLL under Wine do.
#include "PrivateDevice.h"

#include <string>

struct ToolRun
{
    int status = -1;
    std::string output; // standard output and error
};

// A shell command line, its output and exit status.
ToolRun runCommand(const std::string &command);
// kelrin-sim with these arguments (shell words), on the device of the
// environment.
ToolRun runTool(const std::string &arguments);

std::string quoted(const std::string &text);

// `toolLoops` processes of kelrin-sim add records, and `dllBeeper` (when
// given: a command that beeps through the DLL until the file named by its
// last argument exists) beeps, while this process beeps through the library,
// all on `device`: every record and every beep must arrive.
void expectNoWriteLost(const PrivateDevice &device, int toolLoops,
                       const std::string &dllBeeper = {});
