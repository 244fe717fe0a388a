// What the flow analysis knows of the registers that steer naming and jumps:
// each bit known or not, a known bit with its value.
#pragma once

#include <array>
#include <cstdint>

namespace tolvek::source {

struct Bits {
    std::uint8_t known = 0;
    std::uint8_t value = 0;  // meaningful where known
    // Bits that still hold what they held when the routine being summarised
    // was entered, whatever that was.
    std::uint8_t same = 0;

    static constexpr Bits Known(unsigned v) { return {0xFF, static_cast<std::uint8_t>(v), 0}; }
    constexpr bool Full() const { return known == 0xFF; }
    constexpr bool operator==(const Bits&) const = default;
};

// Bits known on both sides with the same value stay known.
constexpr Bits Join(Bits a, Bits b) {
    const auto known = static_cast<std::uint8_t>(a.known & b.known & ~(a.value ^ b.value));
    return {known, static_cast<std::uint8_t>(a.value & known),
            static_cast<std::uint8_t>(a.same & b.same)};
}

// What a caller's bits become over a call whose routine leaves summary.
constexpr Bits Apply(Bits summary, Bits caller) {
    const std::uint8_t kept = summary.same;
    const auto known = static_cast<std::uint8_t>((kept & caller.known) | (~kept & summary.known));
    const auto value =
        static_cast<std::uint8_t>(((kept & caller.value) | (~kept & summary.value)) & known);
    return {known, value, static_cast<std::uint8_t>(kept & caller.same)};
}

// The tracked registers. STATUS: the bank bits RP1:RP0 (14-bit) or the page
// bits PA1:PA0 (12-bit); FSR: the bank bits of 12-bit parts with banked RAM;
// BSR and PCLATH; W, because programs load the others through it.
enum class Reg : std::uint8_t { Status, Fsr, Bsr, Pclath, W, Count };

struct State {
    std::array<Bits, static_cast<std::size_t>(Reg::Count)> regs{};

    Bits& operator[](Reg r) { return regs[static_cast<std::size_t>(r)]; }
    const Bits& operator[](Reg r) const { return regs[static_cast<std::size_t>(r)]; }
    constexpr bool operator==(const State&) const = default;
};

inline State Join(const State& a, const State& b) {
    State out;
    for (std::size_t i = 0; i < a.regs.size(); ++i) {
        out.regs[i] = Join(a.regs[i], b.regs[i]);
    }
    return out;
}

inline State Apply(const State& summary, const State& caller) {
    State out;
    for (std::size_t i = 0; i < out.regs.size(); ++i) {
        out.regs[i] = Apply(summary.regs[i], caller.regs[i]);
    }
    return out;
}

// The same bits with nothing marked as kept from an entry.
inline State Concrete(State state) {
    for (Bits& b : state.regs) {
        b.same = 0;
    }
    return state;
}

}  // namespace tolvek::source
