// Built into the stand-in's own tables when they run through the Wine
// bridge against the stand-in DLL: a 32-bit DLL where the set-up found that
// Wine runs no 32-bit programs has nothing to show, and every test skips.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class ThroughBridge : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // The set-up's Wine and prefix, never the account's own.
        ::setenv("KELRIN_WINE", KELRIN_TEST_WINE, 1);
        ::setenv("KELRIN_WINEPREFIX", KELRIN_TEST_WINEPREFIX, 1);
        if (KELRIN_TEST_BITS == 32 && std::filesystem::exists(KELRIN_TEST_NO_WINE32))
            GTEST_SKIP() << "this machine's Wine runs no 32-bit programs";
    }
};

const auto *const registered = ::testing::AddGlobalTestEnvironment(new ThroughBridge);

} // namespace
