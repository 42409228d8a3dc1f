#pragma once
// An output buffer of its documented capacity between guard bytes, filled
// with 'X' (no NUL) or with bytes of the test's choosing: whatever a call
// does, the guards must stay as they were and a NUL must lie inside.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

class GuardedBuffer
{
public:
    static constexpr std::size_t kGuard = 64;
    static constexpr char kGuardByte = '\xA5';

    explicit GuardedBuffer(std::size_t capacity, char fill = 'X')
        : m_bytes(capacity + 2 * kGuard, kGuardByte), m_capacity(capacity)
    {
        std::fill_n(data(), capacity, fill); // no NUL unless the call writes one
    }
    char *data() { return m_bytes.data() + kGuard; }
    // The whole capacity, NULs and all.
    std::string bytes() const { return std::string(m_bytes.data() + kGuard, m_capacity); }
    // The text up to the first NUL.
    std::string text() const
    {
        const std::string all = bytes();
        return all.substr(0, all.find('\0'));
    }

    void expectIntact(const std::string &what) const
    {
        const auto guardTouched = [](auto first, auto last) {
            return std::any_of(first, last, [](char c) { return c != kGuardByte; });
        };
        EXPECT_FALSE(guardTouched(m_bytes.begin(), m_bytes.begin() + kGuard))
            << what << ": wrote before the buffer";
        EXPECT_FALSE(guardTouched(m_bytes.end() - kGuard, m_bytes.end()))
            << what << ": wrote beyond the buffer";
        const auto inside = m_bytes.begin() + kGuard;
        EXPECT_NE(std::find(inside, inside + static_cast<std::ptrdiff_t>(m_capacity), '\0'),
                  inside + static_cast<std::ptrdiff_t>(m_capacity))
            << what << ": no NUL inside the buffer";
    }

private:
    std::vector<char> m_bytes;
    std::size_t m_capacity;
};
