#include "bench/Images.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "isa/Isa.h"

namespace tolvek::bench {

namespace {

struct Random {
    std::uint32_t seed = 20261207;
    unsigned Next(unsigned range) {
        seed = seed * 1103515245u + 12345u;
        return ((seed >> 16) & 0x7FFF) % range;
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void AppendHexByte(std::string& out, unsigned value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out += kDigits[(value >> 4) & 15];
    out += kDigits[value & 15];
}

}  // namespace

std::vector<std::uint16_t> MakeProgram14(int words, int targets) {
    static constexpr std::uint16_t kByteOps[] = {0x0200, 0x0300, 0x0400, 0x0500, 0x0600,
                                                 0x0700, 0x0800, 0x0900, 0x0A00, 0x0B00,
                                                 0x0C00, 0x0D00, 0x0E00, 0x0F00};
    static constexpr std::uint16_t kLiterals[] = {0x3000, 0x3800, 0x3900, 0x3A00, 0x3C00, 0x3E00};
    static constexpr std::uint16_t kPlain[] = {0x0000, 0x0008, 0x0009, 0x0063, 0x0064, 0x0100};
    std::vector<int> targetPlaces;
    for (int i = 0; i < targets; ++i) {
        targetPlaces.push_back((i % 4) * 2048 + (i * 1031) % 2048);
    }
    Random random;
    std::vector<std::uint16_t> program;
    int jumps = 0;
    for (int a = 0; a < words; ++a) {
        const unsigned kind = random.Next(16);
        const unsigned f = random.Next(128);
        std::uint16_t word = 0;
        if (a == words - 1 && targets > 0) {
            word = static_cast<std::uint16_t>(0x2800 | (targetPlaces.back() & 0x7FF));
        } else if (kind <= 2 && targets > 1) {
            const int t = targetPlaces[static_cast<std::size_t>(jumps++ % (targets - 1))];
            word = static_cast<std::uint16_t>((kind == 0 ? 0x2000 : 0x2800) | (t & 0x7FF));
        } else if (kind <= 6) {
            word = static_cast<std::uint16_t>(kByteOps[random.Next(14)] | random.Next(2) << 7 | f);
        } else if (kind == 7) {
            word = static_cast<std::uint16_t>((random.Next(2) != 0 ? 0x0080 : 0x0180) | f);
        } else if (kind <= 9) {
            word =
                static_cast<std::uint16_t>(0x1000 | random.Next(4) << 10 | random.Next(8) << 7 | f);
        } else if (kind <= 11) {
            word = static_cast<std::uint16_t>(kLiterals[random.Next(6)] | random.Next(256));
        } else if (kind == 12) {
            word = static_cast<std::uint16_t>(0x3400 | random.Next(256));
        } else if (kind == 13) {
            word = kPlain[random.Next(6)];
        } else {
            word = static_cast<std::uint16_t>(kByteOps[random.Next(14)] | 0x80 | f);
        }
        program.push_back(word);
    }
    return program;
}

std::string MakeSource14(const std::vector<std::uint16_t>& words) {
    std::vector<std::vector<std::pair<unsigned, bool>>> uses(words.size());  // from, call
    auto targetOf = [](unsigned address, const isa::Decoded& decoded) {
        return (address & ~0x7FFu) | decoded.literal;
    };
    for (unsigned a = 0; a < words.size(); ++a) {
        const isa::Decoded decoded = isa::Decode(isa::Core::Midrange, words[a]);
        if (decoded && decoded.instruction->form == isa::Form::Address) {
            const unsigned target = targetOf(a, decoded);
            if (target < words.size()) {
                uses[target].emplace_back(a, decoded.instruction->flow == isa::Flow::Call);
            }
        }
    }
    auto labelOf = [&](unsigned a) {
        char name[32];
        const bool called =
            std::any_of(uses[a].begin(), uses[a].end(), [](const auto& u) { return u.second; });
        std::snprintf(name, sizeof name, called ? "function_%04X" : "label_%04X", a);
        return std::string(name);
    };
    std::string text = "; reconstructed source (benchmark input)\n        processor 16F877A\n\n";
    text += "        org     0x0000\n; reset vector\n";
    char line[128];
    for (unsigned a = 0; a < words.size(); ++a) {
        if (!uses[a].empty()) {
            std::string calls;
            std::string jumps;
            for (const auto& [from, call] : uses[a]) {
                std::snprintf(line, sizeof line, "%04X", from);
                std::string& list = call ? calls : jumps;
                list += list.empty() ? line : std::string(", ") + line;
            }
            text += labelOf(a) + ":  ;";
            if (!calls.empty()) {
                text += " called from " + calls;
            }
            if (!jumps.empty()) {
                text += (calls.empty() ? " jumped to from " : "; jumped to from ") + jumps;
            }
            text += '\n';
        }
        const isa::Decoded decoded = isa::Decode(isa::Core::Midrange, words[a]);
        std::string instruction =
            decoded ? isa::FormatPlain(decoded) : "dw 0x" + std::to_string(words[a]);
        if (decoded && decoded.instruction->form == isa::Form::Address &&
            targetOf(a, decoded) < words.size()) {
            instruction =
                instruction.substr(0, instruction.find(' ')) + " " + labelOf(targetOf(a, decoded));
        }
        const std::size_t space = instruction.find(' ');
        std::string mnemonic = instruction.substr(0, space);
        std::string operands = space == std::string::npos ? "" : instruction.substr(space + 1);
        std::snprintf(line, sizeof line, "        %-7s %-15s ; %04X\n", mnemonic.c_str(),
                      operands.c_str(), a);
        text += line;
    }
    text += "\n        end\n";
    return text;
}

std::string MakeHex(const std::vector<std::uint16_t>& words, long records) {
    const long perImage = static_cast<long>((words.size() + 7) / 8);
    if (records < 0) {
        records = perImage;
    }
    std::string hex;
    hex.reserve(static_cast<std::size_t>(records) * 44 + 16);
    unsigned address = 0;
    for (long r = 0; r < records; ++r) {
        const std::size_t first = static_cast<std::size_t>(r % perImage) * 8;
        const std::size_t count = std::min<std::size_t>(8, words.size() - first);
        unsigned sum = static_cast<unsigned>(count * 2) + (address >> 8) + (address & 0xFF);
        hex += ':';
        AppendHexByte(hex, static_cast<unsigned>(count * 2));
        AppendHexByte(hex, address >> 8);
        AppendHexByte(hex, address & 0xFF);
        hex += "00";
        for (std::size_t i = 0; i < count; ++i) {
            const unsigned word = words[first + i];
            AppendHexByte(hex, word & 0xFF);
            AppendHexByte(hex, word >> 8);
            sum += (word & 0xFF) + (word >> 8);
        }
        AppendHexByte(hex, (0x100 - (sum & 0xFF)) & 0xFF);
        hex += '\n';
        address = (address + static_cast<unsigned>(count * 2)) & 0x3FFF;
    }
    hex += ":00000001FF\n";
    return hex;
}

std::string ChipDataPath() {
    const std::string shipped = std::string(TOLVEK_SOURCE_DIR) + "/data/chipdat.txt";
    if (ReadFile(shipped).find("[16F877A]") != std::string::npos) {
        return shipped;
    }
    return std::string(TOLVEK_SOURCE_DIR) + "/tests/data/naming-edges-chipdat.txt";
}

std::string MakeLargeChipData(int sections) {
    const std::string source =
        ReadFile(std::string(TOLVEK_SOURCE_DIR) + "/tests/data/naming-edges-chipdat.txt");
    const std::size_t begin = source.find("[16F877A]");
    const std::size_t end = source.find('[', begin + 1);
    const std::string body = source.substr(source.find('\n', begin) + 1, end - begin);
    std::string text;
    for (int i = 0; i < sections; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "[16F%04dA]\n", i);
        text += name;
        text += body.substr(0, body.find('['));
    }
    text += "[16F877A]\n" + body.substr(0, body.find('[')) + "[ end\n";
    return text;
}

std::string WriteTempFile(const std::string& name, const std::string& text) {
    const char* dir = std::getenv("TMPDIR");
    const std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return path;
}

}  // namespace tolvek::bench
