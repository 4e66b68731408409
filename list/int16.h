#pragma once

#include <cstdint>
#include <stdexcept>

// Raised by Int16 when a result does not fit in 16 signed bits.
class Int16Overflow : public std::overflow_error {
public:
    Int16Overflow() : std::overflow_error("a number went past 32767") {}
};

// A 16-bit signed integer whose arithmetic throws Int16Overflow instead of wrapping.
// The list format's limits (lines, marker position, rows, window height) come from it.
class Int16 {
public:
    constexpr Int16() = default;
    // Throws Int16Overflow when v is outside -32768..32767.
    static Int16 from(std::int64_t v) {
        if (v < INT16_MIN || v > INT16_MAX) throw Int16Overflow();
        Int16 r;
        r.m_value = static_cast<std::int16_t>(v);
        return r;
    }
    constexpr int value() const { return m_value; }

    Int16 operator+(Int16 o) const { return from(std::int64_t{m_value} + o.m_value); }
    Int16 operator-(Int16 o) const { return from(std::int64_t{m_value} - o.m_value); }
    Int16 &operator+=(Int16 o) { return *this = *this + o; }
    friend constexpr bool operator==(Int16 a, Int16 b) { return a.m_value == b.m_value; }
    friend constexpr auto operator<=>(Int16 a, Int16 b) { return a.m_value <=> b.m_value; }

private:
    std::int16_t m_value = 0;
};
