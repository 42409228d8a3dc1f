#pragma once
// A simulated device of the test's own: a fresh temporary folder named in
// KELRIN_SIM_STATE for the object's life, so that no test touches the
// user's device and tests can run in parallel. The port, being per process,
// starts closed.
#include "TempFolder.h"
#include "device.h"
#include "kelrin.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

class PrivateDevice
{
public:
    PrivateDevice()
    {
        state = folder / "device";
        ::setenv("KELRIN_SIM_STATE", state.c_str(), 1);
        CloseUSB(KELRIN_ENCODER_KELUSB);
    }
    PrivateDevice(const PrivateDevice &) = delete;
    PrivateDevice &operator=(const PrivateDevice &) = delete;
    ~PrivateDevice()
    {
        CloseUSB(KELRIN_ENCODER_KELUSB);
        ::unsetenv("KELRIN_SIM_STATE");
    }

    kelrin::DeviceState load() const { return kelrin::DeviceFile(state).load(); }
    void change(const std::function<void(kelrin::DeviceState &)> &how) const
    {
        kelrin::DeviceFile(state).update(how);
    }

private:
    const TempFolder m_temp{"kelrin-test"};

public:
    const std::filesystem::path folder = m_temp.path();
    std::filesystem::path state;
};
