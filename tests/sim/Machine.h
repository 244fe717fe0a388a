// An instruction-level model of the three PIC cores, for checking what the
// reconstructed source says against what the program really does. Words are
// decoded with the instruction tables; this file only says what each
// instruction does. Peripheral registers read as values from a seeded
// generator, so a run is the same each time for the same seed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "devices/Device.h"
#include "isa/Isa.h"

namespace tolvek::sim {

// What one executed word did.
struct Step {
    unsigned address = 0;
    const isa::Decoded* decoded = nullptr;
    // The absolute data address the word's register operand used.
    std::optional<unsigned> data;
    // Where a CALL, GOTO, BRA, BRW, CALLW or a write to PCL went.
    std::optional<unsigned> target;
    // Before the word: the data bank selected, and the program page bits (the
    // 12-bit core's PA bits, the 14-bit cores' PCLATH<6:3>).
    unsigned bank = 0;
    unsigned page = 0;
};

// The location an absolute data address names: a core register or a location
// that is the same in every bank is named by its offset in bank 0.
unsigned CanonicalAddress(const devices::Device& device, unsigned address);

class Machine {
  public:
    // words: the program memory, erased where the image has nothing.
    Machine(const devices::Device& device, std::vector<std::uint16_t> words, std::uint64_t seed);

    // Starts the generator of peripheral values and RAM contents again.
    void Reseed(std::uint64_t seed) { random_.seed(seed); }
    // Power-on: the core registers take their reset values, RAM holds whatever
    // the generator gives, the program counter is at the reset vector.
    void PowerOn();
    // A reset that keeps RAM: the RESET instruction, a watchdog time-out.
    void Reset();
    // Starts at address with every register the program steers by (bank and
    // page bits, PCLATH, BSR, FSRs, W) as the generator gives them: what code
    // no vector reaches may meet.
    void EnterAnyhow(unsigned address);
    // Enters the interrupt vector from wherever the program is.
    void Interrupt();
    // Runs one word; false (and nothing run) when the machine cannot go on: a
    // return with nothing on the stack, a program counter outside memory, or a
    // word that is no instruction.
    bool Run(Step& step);

    unsigned Pc() const { return pc_; }
    unsigned Bank() const;
    unsigned PageBits() const;
    unsigned W() const { return w_; }
    std::size_t Depth() const { return stack_.size(); }
    unsigned Canonical(unsigned address) const { return CanonicalAddress(device_, address); }
    // The register or RAM byte at an absolute data address, as the program would read it.
    unsigned Peek(unsigned address);

  private:
    unsigned Read(unsigned address);
    void Write(unsigned address, unsigned value);
    unsigned Indirect(unsigned which) const;
    unsigned ReadIndirect(unsigned which);
    void WriteIndirect(unsigned which, unsigned value);
    bool Gpr(unsigned canonical) const;
    void SetFlags(bool z, std::optional<bool> c = std::nullopt,
                  std::optional<bool> dc = std::nullopt);
    void Push(unsigned address);
    unsigned Random() { return static_cast<unsigned>(random_() & 0xFF); }

    // The program, shared by the copies a run makes at each interrupt.
    struct Code {
        std::vector<std::uint16_t> words;
        std::vector<isa::Decoded> decoded;
    };

    const devices::Device& device_;
    isa::Core core_;
    std::shared_ptr<const Code> code_;
    unsigned addressMask_ = 0;
    std::mt19937_64 random_;
    std::vector<std::uint8_t> ram_;  // by canonical address
    unsigned pc_ = 0;
    unsigned current_ = 0;  // the word being run
    unsigned w_ = 0;
    std::vector<unsigned> stack_;
    std::optional<unsigned> pclWrite_;
};

}  // namespace tolvek::sim
