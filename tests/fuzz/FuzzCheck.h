#pragma once
// A property that does not hold stops the run with its name: libFuzzer and
// the replay both count the abort as a finding and keep the input.
#include <cstdio>
#include <cstdlib>

inline void check(bool holds, const char *property)
{
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}
