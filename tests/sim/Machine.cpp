#include "sim/Machine.h"

#include <algorithm>
#include <string_view>

namespace tolvek::sim {

namespace {

using isa::Core;

// Core registers by their offset in a bank: the same in every bank.
constexpr unsigned kIndf = 0x00;
constexpr unsigned kIndf1 = 0x01;  // enhanced
constexpr unsigned kPcl = 0x02;
constexpr unsigned kStatus = 0x03;
constexpr unsigned kFsr = 0x04;  // enhanced: FSR0L, then FSR0H, FSR1L, FSR1H
constexpr unsigned kBsr = 0x08;
constexpr unsigned kWreg = 0x09;
constexpr unsigned kPclath = 0x0A;
constexpr unsigned kIntcon = 0x0B;

// STATUS bits.
constexpr unsigned kC = 0x01;
constexpr unsigned kDc = 0x02;
constexpr unsigned kZ = 0x04;
constexpr unsigned kPowerBits = 0x18;  // TO and PD: only the core sets them

bool CoreRegister(Core core, unsigned offset) {
    switch (core) {
        case Core::Baseline:
            return offset == kIndf || (offset >= kPcl && offset <= kFsr);
        case Core::Midrange:
            return offset == kIndf || (offset >= kPcl && offset <= kFsr) || offset == kPclath ||
                   offset == kIntcon;
        case Core::Enhanced:
            return offset <= kIntcon;
    }
    return false;
}

constexpr unsigned kNoData = ~0u;  // an indirect address outside data memory

}  // namespace

Machine::Machine(const devices::Device& device, std::vector<std::uint16_t> words,
                 std::uint64_t seed)
    : device_(device), core_(device.core), random_(seed) {
    auto code = std::make_shared<Code>();
    code->words = std::move(words);
    code->decoded.reserve(code->words.size());
    for (const std::uint16_t word : code->words) {
        code->decoded.push_back(isa::Decode(core_, word & isa::ErasedWord(core_)));
    }
    code_ = std::move(code);
    addressMask_ = 1;
    while (addressMask_ + 1 < code_->words.size()) {
        addressMask_ = addressMask_ << 1 | 1;
    }
    ram_.assign(std::max(device.bankCount, 1u) * std::max(device.bankSize, 1u), 0);
}

unsigned CanonicalAddress(const devices::Device& device, unsigned address) {
    const unsigned size = std::max(device.bankSize, 1u);
    const unsigned offset = address % size;
    return CoreRegister(device.core, offset) || device.Unbanked(offset) ? offset : address;
}

bool Machine::Gpr(unsigned canonical) const {
    return std::any_of(device_.gpr.begin(), device_.gpr.end(), [&](const devices::Range& r) {
        return r.first <= canonical && canonical <= r.last;
    });
}

void Machine::PowerOn() {
    for (std::uint8_t& byte : ram_) {
        byte = static_cast<std::uint8_t>(Random());
    }
    Reset();
}

void Machine::Reset() {
    stack_.clear();
    w_ = Random();
    const unsigned flags = kPowerBits | (Random() & (kC | kDc | kZ));
    switch (core_) {
        case Core::Baseline:
            // the page bits clear; bit 7 is a wake-up flag on some parts; FSR as it was
            ram_[kStatus] = static_cast<std::uint8_t>(flags | (Random() & 0x80));
            pc_ = device_.resetVector;
            break;
        case Core::Midrange:
            ram_[kStatus] = static_cast<std::uint8_t>(flags);
            ram_[kPclath] = 0;
            ram_[kIntcon] = 0;
            pc_ = 0;
            break;
        case Core::Enhanced:
            ram_[kStatus] = static_cast<std::uint8_t>(flags);
            for (unsigned r = kFsr; r <= kBsr; ++r) {
                ram_[r] = 0;
            }
            ram_[kPclath] = 0;
            ram_[kIntcon] = 0;
            w_ = 0;
            pc_ = 0;
            break;
    }
}

void Machine::EnterAnyhow(unsigned address) {
    PowerOn();
    for (unsigned r = kStatus; r <= kPclath; ++r) {
        if (r != kStatus || core_ != Core::Enhanced) {
            Write(r, Random());  // through Write: each register keeps only its own bits
        }
    }
    w_ = Random();
    pc_ = address;
}

void Machine::Interrupt() {
    Push(pc_);
    pc_ = device_.interruptVector.value_or(4);
    ram_[kIntcon] = static_cast<std::uint8_t>(ram_[kIntcon] & 0x7F);
}

void Machine::Push(unsigned address) {
    const std::size_t depth = core_ == Core::Baseline ? 2 : core_ == Core::Midrange ? 8 : 16;
    if (stack_.size() == depth) {
        stack_.erase(stack_.begin());  // the oldest is overwritten
    }
    stack_.push_back(address);
}

unsigned Machine::Bank() const {
    const unsigned count = std::max(device_.bankCount, 1u);
    unsigned select = 0;
    switch (core_) {
        case Core::Baseline:
            select = ram_[kFsr] >> 5;
            break;
        case Core::Midrange:
            select = ram_[kStatus] >> 5 & 3;
            break;
        case Core::Enhanced:
            select = ram_[kBsr];
            break;
    }
    unsigned mask = 1;
    while (mask < count) {
        mask <<= 1;
    }
    return select & (mask - 1);
}

unsigned Machine::PageBits() const {
    return core_ == Core::Baseline ? ram_[kStatus] >> 5 & 7 : ram_[kPclath] >> 3 & 0xF;
}

unsigned Machine::Indirect(unsigned which) const {
    const unsigned size = std::max(device_.bankSize, 1u);
    const unsigned count = std::max(device_.bankCount, 1u);
    switch (core_) {
        case Core::Baseline: {
            const unsigned fsr = ram_[kFsr];
            return count > 1 ? ((fsr >> 5) & (count - 1)) * size + (fsr & 0x1F) : fsr & 0x1F;
        }
        case Core::Midrange: {
            const unsigned full = (ram_[kStatus] & 0x80u) << 1 | ram_[kFsr];
            return ((full >> 7) & (count - 1)) * size + (full & 0x7F);
        }
        case Core::Enhanced: {
            const unsigned base = kFsr + 2 * which;
            const unsigned fsr = ram_[base] | ram_[base + 1] << 8;
            if (fsr < count * size) {
                return fsr;
            }
            if (device_.linear && fsr >= device_.linear->first && fsr <= device_.linear->last) {
                const unsigned n = fsr - device_.linear->first;  // 80 bytes a bank from 0x20
                return (n / 80) * size + 0x20 + n % 80;
            }
            return kNoData;
        }
    }
    return kNoData;
}

unsigned Machine::ReadIndirect(unsigned which) {
    const unsigned address = Indirect(which);
    if (address == kNoData) {
        const unsigned base = kFsr + 2 * which;
        const unsigned fsr = ram_[base] | ram_[base + 1] << 8;
        return fsr >= 0x8000 ? code_->words[(fsr - 0x8000) % code_->words.size()] & 0xFF : Random();
    }
    const unsigned offset = Canonical(address);
    return offset == kIndf || (core_ == Core::Enhanced && offset == kIndf1) ? 0 : Read(address);
}

void Machine::WriteIndirect(unsigned which, unsigned value) {
    const unsigned address = Indirect(which);
    if (address == kNoData) {
        return;
    }
    const unsigned offset = Canonical(address);
    if (offset != kIndf && !(core_ == Core::Enhanced && offset == kIndf1)) {
        Write(address, value);
    }
}

unsigned Machine::Read(unsigned address) {
    const unsigned c = Canonical(address);
    if (c < std::max(device_.bankSize, 1u) && CoreRegister(core_, c)) {
        if (c == kIndf) {
            return ReadIndirect(0);
        }
        if (core_ == Core::Enhanced && c == kIndf1) {
            return ReadIndirect(1);
        }
        if (c == kPcl) {
            return (current_ + 1) & 0xFF;
        }
        if (core_ == Core::Enhanced && c == kWreg) {
            return w_;
        }
        return ram_[c];
    }
    if (c < ram_.size() && Gpr(c)) {
        return ram_[c];
    }
    return Random();  // a peripheral, or nothing
}

unsigned Machine::Peek(unsigned address) {
    return Read(address);
}

void Machine::Write(unsigned address, unsigned value) {
    value &= 0xFF;
    const unsigned c = Canonical(address);
    if (c < std::max(device_.bankSize, 1u) && CoreRegister(core_, c)) {
        if (c == kIndf) {
            WriteIndirect(0, value);
        } else if (core_ == Core::Enhanced && c == kIndf1) {
            WriteIndirect(1, value);
        } else if (c == kPcl) {
            pclWrite_ = value;
        } else if (c == kStatus) {
            ram_[c] = static_cast<std::uint8_t>((value & ~kPowerBits) | (ram_[c] & kPowerBits));
        } else if (core_ == Core::Enhanced && c == kWreg) {
            w_ = value;
        } else if (core_ == Core::Enhanced && c == kBsr) {
            ram_[c] = static_cast<std::uint8_t>(value & 0x3F);
        } else if (c == kPclath) {
            ram_[c] = static_cast<std::uint8_t>(value & (core_ == Core::Enhanced ? 0x7F : 0x1F));
        } else {
            ram_[c] = static_cast<std::uint8_t>(value);
        }
        return;
    }
    if (c < ram_.size() && Gpr(c)) {
        ram_[c] = static_cast<std::uint8_t>(value);
    }
}

void Machine::SetFlags(bool z, std::optional<bool> c, std::optional<bool> dc) {
    unsigned status = ram_[kStatus];
    status = z ? status | kZ : status & ~kZ;
    if (c) {
        status = *c ? status | kC : status & ~kC;
    }
    if (dc) {
        status = *dc ? status | kDc : status & ~kDc;
    }
    ram_[kStatus] = static_cast<std::uint8_t>(status);
}

bool Machine::Run(Step& step) {
    if (pc_ >= code_->words.size() || !code_->decoded[pc_]) {
        return false;  // outside memory, or a word that is no instruction: nothing says what it
                       // does
    }
    const unsigned a = pc_;
    const isa::Decoded& d = code_->decoded[a];
    const unsigned next = (a + 1) & addressMask_;
    step = Step{a, &d, std::nullopt, std::nullopt, Bank(), PageBits()};
    current_ = a;
    pclWrite_.reset();
    pc_ = next;
    const std::string_view m = d.instruction->mnemonic;
    const unsigned status = ram_[kStatus];
    const bool carry = (status & kC) != 0;
    // the high bits of a CALL or GOTO target: the page bits, or PCLATH
    const unsigned page = core_ == Core::Baseline   ? (status & 0xE0u) << 4
                          : core_ == Core::Midrange ? (ram_[kPclath] & 0x18u) << 8
                                                    : (ram_[kPclath] & 0x78u) << 8;
    const auto go = [&](unsigned to) {
        pc_ = to & addressMask_;
        step.target = pc_;
    };
    const auto pop = [&]() {
        if (stack_.empty()) {
            return false;
        }
        go(stack_.back());
        stack_.pop_back();
        return true;
    };

    switch (d.instruction->form) {
        case isa::Form::File:
        case isa::Form::FileDest:
        case isa::Form::FileBit: {
            const unsigned address = Bank() * std::max(device_.bankSize, 1u) + d.file;
            step.data = address;
            const auto put = [&](unsigned result) {
                result &= 0xFF;
                if (d.toFile || d.instruction->form != isa::Form::FileDest) {
                    Write(address, result);
                } else {
                    w_ = result;
                }
                return result;
            };
            if (m == "MOVWF") {
                Write(address, w_);
            } else if (m == "CLRF") {
                Write(address, 0);
                SetFlags(true);
            } else if (d.instruction->form == isa::Form::FileBit) {
                const unsigned value = Read(address);
                const unsigned bit = 1u << d.bit;
                if (m == "BSF") {
                    Write(address, value | bit);
                } else if (m == "BCF") {
                    Write(address, value & ~bit);
                } else if ((m == "BTFSC") == ((value & bit) == 0)) {
                    pc_ = (a + 2) & addressMask_;
                }
            } else {
                const unsigned f = Read(address);
                if (m == "MOVF") {
                    SetFlags(put(f) == 0);
                } else if (m == "ADDWF" || m == "ADDWFC") {
                    const unsigned in = m == "ADDWFC" && carry ? 1 : 0;
                    const unsigned sum = f + w_ + in;
                    SetFlags(put(sum) == 0, sum > 0xFF, (f & 0xF) + (w_ & 0xF) + in > 0xF);
                } else if (m == "SUBWF" || m == "SUBWFB") {
                    const unsigned borrow = m == "SUBWFB" && !carry ? 1 : 0;
                    const unsigned diff = f - w_ - borrow;
                    SetFlags(put(diff) == 0, f >= w_ + borrow, (f & 0xF) >= (w_ & 0xF) + borrow);
                } else if (m == "IORWF") {
                    SetFlags(put(f | w_) == 0);
                } else if (m == "ANDWF") {
                    SetFlags(put(f & w_) == 0);
                } else if (m == "XORWF") {
                    SetFlags(put(f ^ w_) == 0);
                } else if (m == "INCF") {
                    SetFlags(put(f + 1) == 0);
                } else if (m == "DECF") {
                    SetFlags(put(f - 1) == 0);
                } else if (m == "COMF") {
                    SetFlags(put(~f) == 0);
                } else if (m == "INCFSZ" || m == "DECFSZ") {
                    if (put(m == "INCFSZ" ? f + 1 : f - 1) == 0) {
                        pc_ = (a + 2) & addressMask_;
                    }
                } else if (m == "RRF") {
                    put((carry ? 0x80 : 0) | f >> 1);
                    SetFlags((ram_[kStatus] & kZ) != 0, (f & 1) != 0);
                } else if (m == "RLF") {
                    put(f << 1 | (carry ? 1 : 0));
                    SetFlags((ram_[kStatus] & kZ) != 0, (f & 0x80) != 0);
                } else if (m == "SWAPF") {
                    put((f << 4) | (f >> 4));
                } else if (m == "LSLF") {
                    SetFlags(put(f << 1) == 0, (f & 0x80) != 0);
                } else if (m == "LSRF") {
                    SetFlags(put(f >> 1) == 0, (f & 1) != 0);
                } else if (m == "ASRF") {
                    SetFlags(put((f >> 1) | (f & 0x80)) == 0, (f & 1) != 0);
                }
            }
            break;
        }
        case isa::Form::Literal: {
            const unsigned k = d.literal;
            if (m == "MOVLW") {
                w_ = k;
            } else if (m == "RETLW") {
                w_ = k;
                if (!pop()) {
                    return false;
                }
            } else if (m == "IORLW") {
                w_ |= k;
                SetFlags(w_ == 0);
            } else if (m == "ANDLW") {
                w_ &= k;
                SetFlags(w_ == 0);
            } else if (m == "XORLW") {
                w_ ^= k;
                SetFlags(w_ == 0);
            } else if (m == "ADDLW") {
                const unsigned sum = w_ + k;
                SetFlags((sum & 0xFF) == 0, sum > 0xFF, (w_ & 0xF) + (k & 0xF) > 0xF);
                w_ = sum & 0xFF;
            } else if (m == "SUBLW") {
                const unsigned diff = (k - w_) & 0xFF;
                SetFlags(diff == 0, k >= w_, (k & 0xF) >= (w_ & 0xF));
                w_ = diff;
            }
            break;
        }
        case isa::Form::Address:
            if (m == "CALL") {
                Push(next);
            }
            go(page | d.literal);
            break;
        case isa::Form::Relative:
            go(a + 1 + static_cast<unsigned>(d.offset));
            break;
        case isa::Form::Bank:
            ram_[kBsr] = static_cast<std::uint8_t>(d.literal);
            break;
        case isa::Form::Page:
            ram_[kPclath] = static_cast<std::uint8_t>(d.literal);
            break;
        case isa::Form::FsrOffset: {
            const unsigned base = kFsr + 2 * d.fsr;
            const unsigned fsr =
                (ram_[base] | ram_[base + 1] << 8) + static_cast<unsigned>(d.offset);
            ram_[base] = static_cast<std::uint8_t>(fsr);
            ram_[base + 1] = static_cast<std::uint8_t>(fsr >> 8);
            break;
        }
        case isa::Form::FsrModify:
        case isa::Form::FsrIndexed: {
            const unsigned base = kFsr + 2 * d.fsr;
            const auto fsr = [&]() { return ram_[base] | ram_[base + 1] << 8; };
            const auto set = [&](unsigned value) {
                ram_[base] = static_cast<std::uint8_t>(value);
                ram_[base + 1] = static_cast<std::uint8_t>(value >> 8);
            };
            const unsigned saved = fsr();
            int after = 0;
            if (d.instruction->form == isa::Form::FsrIndexed) {
                set(saved + static_cast<unsigned>(d.offset));
            } else if (d.mode < 2) {
                set(saved + (d.mode == 0 ? 1u : ~0u));  // ++FSRn, --FSRn
            } else {
                after = d.mode == 2 ? 1 : -1;  // FSRn++, FSRn--
            }
            if (m == "MOVIW") {
                w_ = ReadIndirect(d.fsr);
                SetFlags(w_ == 0);
            } else {
                WriteIndirect(d.fsr, w_);
            }
            if (d.instruction->form == isa::Form::FsrIndexed) {
                set(saved);
            } else if (after != 0) {
                set(fsr() + static_cast<unsigned>(after));
            }
            break;
        }
        case isa::Form::None:
            if (m == "CLRW") {
                w_ = 0;
                SetFlags(true);
            } else if (m == "RETURN" || m == "RETFIE") {
                if (m == "RETFIE") {
                    ram_[kIntcon] = static_cast<std::uint8_t>(ram_[kIntcon] | 0x80);
                }
                if (!pop()) {
                    return false;
                }
            } else if (m == "BRW") {
                go(next + w_);
            } else if (m == "CALLW") {
                Push(next);
                go(static_cast<unsigned>(ram_[kPclath]) << 8 | w_);
            } else if (m == "RESET") {
                Reset();
                step.target = pc_;
            }
            break;
        case isa::Form::Tris:
            break;
    }
    if (pclWrite_) {
        const unsigned high = core_ == Core::Baseline ? (ram_[kStatus] & 0xE0u) << 4
                                                      : static_cast<unsigned>(ram_[kPclath]) << 8;
        go(high | *pclWrite_);
    }
    return true;
}

}  // namespace tolvek::sim
