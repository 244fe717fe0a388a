#include "source/Operands.h"

#include <algorithm>
#include <string_view>

namespace tolvek::source {

namespace {

bool Unbanked(const devices::Device& device, unsigned offset) {
    return std::any_of(
        device.unbanked.begin(), device.unbanked.end(),
        [&](const devices::Range& r) { return offset >= r.first && offset <= r.last; });
}

// The kind of access of a register operand by the instruction's form and name.
DataAccess::Kind KindOf(const isa::Decoded& d) {
    switch (d.instruction->form) {
        case isa::Form::FileBit:
            return DataAccess::Kind::Bit;
        case isa::Form::FileDest:
            return d.toFile ? DataAccess::Kind::Write : DataAccess::Kind::Read;
        default:
            break;
    }
    const std::string_view name = d.instruction->mnemonic;
    return name == "MOVWF" || name == "CLRF" ? DataAccess::Kind::Write : DataAccess::Kind::Read;
}

}  // namespace

std::uint64_t OperandBanks(const devices::Device& device, const Flow& flow, unsigned word,
                           unsigned file) {
    const unsigned size = std::max(device.bankSize, 1u);
    return file < size && Unbanked(device, file) ? 1 : Flow::BankMask(device, flow.Before(word));
}

unsigned CanonicalAddress(const devices::Device& device, unsigned address) {
    const unsigned offset = address % std::max(device.bankSize, 1u);
    return Unbanked(device, offset) ? offset : address;
}

std::vector<DataAccess> DataAccesses(const Program& program, const Flow& flow) {
    const devices::Device& device = *program.device;
    const unsigned size = std::max(device.bankSize, 1u);
    std::vector<DataAccess> out;
    for (unsigned a = 0; a < program.Size(); ++a) {
        if (!program.present[a]) {
            continue;
        }
        const isa::Decoded& d = flow.Decoded(a);
        if (!d || !d.canonical) {
            continue;
        }
        const isa::Form form = d.instruction->form;
        if (form != isa::Form::File && form != isa::Form::FileDest && form != isa::Form::FileBit) {
            continue;
        }
        const std::uint64_t mask = OperandBanks(device, flow, a, d.file);
        const std::size_t first = out.size();
        for (unsigned bank = 0; bank < 64 && bank < std::max(device.bankCount, 1u); ++bank) {
            if ((mask >> bank & 1) == 0) {
                continue;
            }
            const unsigned address = CanonicalAddress(device, bank * size + d.file);
            if (std::none_of(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                             [&](const DataAccess& x) { return x.address == address; })) {
                out.push_back({a, address, KindOf(d), false});
            }
        }
        if (out.size() == first + 1) {
            out.back().certain = true;
        }
    }
    return out;
}

}  // namespace tolvek::source
