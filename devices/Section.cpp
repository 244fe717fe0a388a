// One section of the device file: a part's "key value..." lines, each checked,
// with its faults named by line.
#include "devices/Section.h"

#include <algorithm>
#include <iterator>
#include <vector>

namespace tolvek::devices::section {

namespace {

constexpr std::size_t kMaxLineBytes = std::size_t{1} << 16;
constexpr std::size_t kMaxPartName = 32;
constexpr std::size_t kMaxName = 64;
constexpr std::size_t kMaxConfigWords = 16;
constexpr unsigned kMaxImageAddress = 0xFFFF;

std::string Hex(unsigned value) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

std::string Quoted(std::string_view text) {
    return "'" + std::string(text.substr(0, 40)) + (text.size() > 40 ? "...'" : "'");
}

struct CoreFacts {
    isa::Core core;
    unsigned pageWords;
    unsigned bankSize;
    unsigned maxBanks;
    unsigned maxProgramWords;
    unsigned wordMask;
};

constexpr CoreFacts kCores[] = {
    {isa::Core::Baseline, 0x200, 0x20, 8, 0x1000, 0xFFF},
    {isa::Core::Midrange, 0x800, 0x80, 4, 0x2000, 0x3FFF},
    {isa::Core::Enhanced, 0x800, 0x80, 64, 0x8000, 0x3FFF},
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLetterOrDigit(char c) {
    return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The lines of one section that hold anything, comments removed; each line's
// words (separated by spaces or tabs) are split off when asked for.
class Lines {
  public:
    Lines(std::string_view text, std::size_t begin, std::size_t end)
        : text_(text), pos_(begin), end_(end) {}

    bool Next() {
        while (pos_ < end_) {
            offset_ = pos_;
            std::size_t stop = text_.find('\n', pos_);
            if (stop == std::string_view::npos || stop > end_) {
                stop = end_;
            }
            pos_ = stop + 1;
            line_ = text_.substr(offset_, stop - offset_);
            if (line_.size() > kMaxLineBytes) {
                throw Fault{offset_,
                            "line longer than " + std::to_string(kMaxLineBytes) + " bytes"};
            }
            if (const std::size_t hash = line_.find('#'); hash != std::string_view::npos) {
                line_ = line_.substr(0, hash);
            }
            if (line_.ends_with('\r')) {
                line_.remove_suffix(1);
            }
            const std::size_t first = line_.find_first_not_of(" \t");
            if (first != std::string_view::npos) {
                line_.remove_prefix(first);
                split_ = false;
                return true;
            }
        }
        return false;
    }

    // The first word, without splitting the rest.
    std::string_view Key() const { return line_.substr(0, line_.find_first_of(" \t")); }

    const std::vector<std::string_view>& Words() {
        if (split_) {
            return words_;
        }
        words_.clear();
        std::size_t i = 0;
        while (i < line_.size()) {
            if (line_[i] == ' ' || line_[i] == '\t') {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (i < line_.size() && line_[i] != ' ' && line_[i] != '\t') {
                const unsigned char c = static_cast<unsigned char>(line_[i]);
                if (c < 0x21 || c > 0x7E) {
                    throw Fault{offset_, "unexpected byte " + Hex(c)};
                }
                ++i;
            }
            words_.push_back(line_.substr(start, i - start));
        }
        split_ = true;
        return words_;
    }

    std::size_t Offset() const { return offset_; }
    [[noreturn]] void Fail(std::string message) const { throw Fault{offset_, std::move(message)}; }

  private:
    std::string_view text_;
    std::size_t pos_;
    std::size_t end_;
    std::size_t offset_ = 0;
    std::string_view line_;
    bool split_ = false;
    std::vector<std::string_view> words_;
};

unsigned Number(const Lines& lines, std::string_view word, unsigned max) {
    std::string_view digits = word;
    unsigned base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    if (digits.empty()) {
        lines.Fail("bad number " + Quoted(word));
    }
    unsigned long long value = 0;
    for (const char c : digits) {
        unsigned digit = 16;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        }
        if (digit >= base) {
            lines.Fail("bad number " + Quoted(word));
        }
        value = value * base + digit;
        if (value > max) {
            lines.Fail(Quoted(word) + " is larger than " + Hex(max));
        }
    }
    return static_cast<unsigned>(value);
}

Range RangeOf(const Lines& lines, std::string_view word, unsigned max) {
    const std::size_t dash = word.find('-');
    Range range;
    range.first = Number(lines, word.substr(0, dash), max);
    range.last =
        dash == std::string_view::npos ? range.first : Number(lines, word.substr(dash + 1), max);
    if (range.last < range.first) {
        lines.Fail("range " + Quoted(word) + " ends before it begins");
    }
    return range;
}

bool IsName(std::string_view word) {
    if (word.empty() || word.size() > kMaxName || IsDigit(word[0])) {
        return false;
    }
    return std::all_of(word.begin(), word.end(),
                       [](char c) { return IsLetterOrDigit(c) || c == '_'; });
}

std::string_view Name(const Lines& lines, std::string_view word, const char* what) {
    if (!IsName(word)) {
        lines.Fail(std::string(what) + " " + Quoted(word) +
                   " is not a name (a letter or _, then letters, digits and _)");
    }
    return word;
}

const CoreFacts& FactsOf(isa::Core core) {
    for (const CoreFacts& facts : kCores) {
        if (facts.core == core) {
            return facts;
        }
    }
    return kCores[0];
}

class SectionParser {
  public:
    SectionParser(std::string_view text, std::size_t begin, std::size_t end, Keep keep)
        : text_(text), begin_(begin), end_(end), keep_(keep) {}

    Draft Parse() {
        draft_.offset = begin_;
        Lines lines(text_, begin_, end_);
        lines.Next();
        const std::vector<std::string_view>& head = lines.Words();
        const std::string_view name = SectionName(head[0]);
        if (name.empty() || head.size() != 1 || head[0].size() != name.size() + 2) {
            lines.Fail("a section line is [NAME]: letters and digits, a digit first, at most " +
                       std::to_string(kMaxPartName) + " characters");
        }
        draft_.device.name = DeviceDb::Canonical(name);
        ReadSizes();
        ReadLayout();
        Finish();
        return std::move(draft_);
    }

  private:
    // The keys everything else is checked against: core, memory sizes, vectors.
    void ReadSizes() {
        Device& device = draft_.device;
        Lines lines(text_, begin_, end_);
        lines.Next();
        bool seen[8] = {};
        static const char* const kKeys[] = {"core",      "program", "page",      "banks",
                                            "bank-size", "reset",   "interrupt", "calibration"};
        while (lines.Next()) {
            const auto key = std::find(std::begin(kKeys), std::end(kKeys), lines.Key());
            if (key == std::end(kKeys)) {
                continue;
            }
            const std::vector<std::string_view>& words = lines.Words();
            const std::size_t index = static_cast<std::size_t>(key - std::begin(kKeys));
            if (seen[index]) {
                lines.Fail("'" + std::string(words[0]) + "' given twice");
            }
            seen[index] = true;
            if (words.size() != 2) {
                lines.Fail("'" + std::string(words[0]) + "' takes one value");
            }
            switch (index) {
                case 0:
                    if (words[1] == "baseline") {
                        device.core = isa::Core::Baseline;
                    } else if (words[1] == "midrange") {
                        device.core = isa::Core::Midrange;
                    } else if (words[1] == "enhanced") {
                        device.core = isa::Core::Enhanced;
                    } else {
                        lines.Fail("core " + Quoted(words[1]) +
                                   " is none of baseline, midrange, enhanced");
                    }
                    break;
                case 1:
                    device.programWords = Number(lines, words[1], 0x8000);
                    programOffset_ = lines.Offset();
                    break;
                case 2:
                    device.pageWords = Number(lines, words[1], 0x8000);
                    pageOffset_ = lines.Offset();
                    break;
                case 3:
                    device.bankCount = Number(lines, words[1], 64);
                    banksOffset_ = lines.Offset();
                    break;
                case 4:
                    device.bankSize = Number(lines, words[1], 0x80);
                    bankSizeOffset_ = lines.Offset();
                    break;
                case 5:
                    device.resetVector = Number(lines, words[1], 0x7FFF);
                    resetOffset_ = lines.Offset();
                    break;
                case 6:
                    device.interruptVector = Number(lines, words[1], 0x7FFF);
                    interruptOffset_ = lines.Offset();
                    break;
                case 7:
                    device.calibration = Number(lines, words[1], 0x7FFF);
                    calibrationOffset_ = lines.Offset();
                    break;
            }
        }
        for (std::size_t i = 0; i < 6; ++i) {
            if (!seen[i]) {
                throw Fault{begin_, "[" + device.name + "] has no '" + kKeys[i] + "' line"};
            }
        }
        facts_ = &FactsOf(device.core);
        const std::string core(isa::CoreName(device.core));
        if (device.programWords == 0 || device.programWords > facts_->maxProgramWords) {
            throw Fault{programOffset_, "program memory of a " + core + " part has 1 to " +
                                            Hex(facts_->maxProgramWords) + " words"};
        }
        if (device.pageWords != facts_->pageWords) {
            throw Fault{pageOffset_, "program pages of a " + core + " part have " +
                                         Hex(facts_->pageWords) + " words"};
        }
        if (device.bankCount == 0 || device.bankCount > facts_->maxBanks) {
            throw Fault{banksOffset_, "a " + core + " part has 1 to " +
                                          std::to_string(facts_->maxBanks) + " banks"};
        }
        if (device.bankSize != facts_->bankSize) {
            throw Fault{bankSizeOffset_,
                        "banks of a " + core + " part have " + Hex(facts_->bankSize) + " bytes"};
        }
        if (device.resetVector >= device.programWords) {
            throw Fault{resetOffset_, "the reset vector is beyond program memory"};
        }
        if (device.interruptVector) {
            if (device.core == isa::Core::Baseline) {
                throw Fault{interruptOffset_, "a baseline part has no interrupt vector"};
            }
            if (*device.interruptVector >= device.programWords) {
                throw Fault{interruptOffset_, "the interrupt vector is beyond program memory"};
            }
        }
        if (device.calibration && *device.calibration >= device.programWords) {
            throw Fault{calibrationOffset_, "the calibration word is beyond program memory"};
        }
    }

    void ReadLayout() {
        Lines lines(text_, begin_, end_);
        lines.Next();
        while (lines.Next()) {
            const std::vector<std::string_view>& words = lines.Words();
            const std::string_view key = words[0];
            if (key == "reg") {
                draft_.ownRegisters = true;
                if (keep_ != Keep::kConfig) {
                    RegisterLine(lines, words);
                }
            } else if (key == "field" || key == "config") {
                draft_.ownConfig = true;
                if (keep_ == Keep::kRegisters) {
                    continue;
                }
                if (key == "field") {
                    FieldLine(lines, words);
                } else {
                    ConfigLine(lines, words);
                }
            } else if (key == "unbanked" || key == "gpr") {
                RangesLine(lines, words);
            } else if (key == "linear") {
                Once(lines, key);
                if (words.size() != 2) {
                    lines.Fail("'linear' takes one range");
                }
                draft_.device.linear = RangeOf(lines, words[1], kMaxImageAddress);
            } else if (key == "id" || key == "eeprom" || key == "flash-data") {
                Block(lines, words);
            } else if (key == "registers-of" || key == "config-of") {
                Once(lines, key);
                if (words.size() != 2 || SectionName("[" + std::string(words[1]) + "]").empty()) {
                    lines.Fail("'" + std::string(key) + "' takes the name of a part");
                }
                (key == "config-of" ? draft_.configOf : draft_.registersOf) = words[1];
                (key == "config-of" ? draft_.configOfOffset : draft_.registersOfOffset) =
                    lines.Offset();
            } else if (key != "core" && key != "program" && key != "page" && key != "banks" &&
                       key != "bank-size" && key != "reset" && key != "interrupt" &&
                       key != "calibration") {
                lines.Fail("unknown key " + Quoted(key));
            }
        }
    }

    void Once(const Lines& lines, std::string_view key) {
        for (const std::string_view& seen : once_) {
            if (seen == key) {
                lines.Fail("'" + std::string(key) + "' given twice");
            }
        }
        once_.push_back(key);
    }

    void RangesLine(const Lines& lines, const std::vector<std::string_view>& words) {
        Device& device = draft_.device;
        Once(lines, words[0]);
        const bool offsets = words[0] == "unbanked";
        const unsigned top = offsets ? device.bankSize - 1 : device.bankCount * device.bankSize - 1;
        std::vector<Range>& ranges = offsets ? device.unbanked : device.gpr;
        for (std::size_t i = 1; i < words.size(); ++i) {
            ranges.push_back(RangeOf(lines, words[i], kMaxImageAddress));
            if (ranges.back().last > top) {
                lines.Fail(Quoted(words[i]) +
                           (offsets ? " is beyond a bank's " + Hex(top + 1) + " bytes"
                                    : " is beyond the part's " + std::to_string(device.bankCount) +
                                          " banks"));
            }
        }
    }

    // "id ADDRESS COUNT", "eeprom ADDRESS BYTES", "flash-data ADDRESS WORDS"
    void Block(const Lines& lines, const std::vector<std::string_view>& words) {
        Device& device = draft_.device;
        Once(lines, words[0]);
        if (words.size() != 3) {
            lines.Fail("'" + std::string(words[0]) + "' takes an address and a size");
        }
        const unsigned first = Number(lines, words[1], kMaxImageAddress);
        const unsigned size = Number(lines, words[2], words[0] == "id" ? 64 : 0x10000);
        if (size == 0 || size - 1 > kMaxImageAddress - first) {
            lines.Fail("'" + std::string(words[0]) + "' must hold 1 or more words below 0x10000");
        }
        if (words[0] == "id") {
            device.idFirst = first;
            device.idCount = size;
        } else if (words[0] == "eeprom") {
            device.eepromFirst = first;
            device.eepromBytes = size;
        } else {
            device.flashDataFirst = first;
            device.flashDataWords = size;
        }
    }

    // "config ADDRESS NAME|- IMPLEMENTED"
    void ConfigLine(const Lines& lines, const std::vector<std::string_view>& words) {
        Device& device = draft_.device;
        if (words.size() != 4) {
            lines.Fail("'config' takes an address, a name or -, and the implemented bits");
        }
        if (device.config.size() == kMaxConfigWords) {
            lines.Fail("more than " + std::to_string(kMaxConfigWords) + " configuration words");
        }
        ConfigWord word;
        word.address = Number(lines, words[1], kMaxImageAddress);
        if (words[2] != "-") {
            word.name = Name(lines, words[2], "configuration word");
        }
        word.implemented = Number(lines, words[3], 0xFFFF);
        if ((word.implemented & ~facts_->wordMask) != 0) {
            lines.Fail("implemented bits " + Quoted(words[3]) + " beyond the " +
                       std::to_string(isa::WordBits(device.core)) + "-bit word");
        }
        for (const ConfigWord& other : device.config) {
            if (other.address == word.address) {
                lines.Fail("two configuration words at " + Hex(word.address));
            }
        }
        device.config.push_back(std::move(word));
    }

    // "field MASK NAME=VALUE..."
    void FieldLine(const Lines& lines, const std::vector<std::string_view>& words) {
        Device& device = draft_.device;
        if (device.config.empty()) {
            lines.Fail("'field' before any 'config' line");
        }
        ConfigWord& word = device.config.back();
        if (words.size() < 3) {
            lines.Fail("'field' takes a mask and one or more settings NAME=VALUE");
        }
        const unsigned mask = Number(lines, words[1], 0xFFFF);
        if (mask == 0 || (mask & ~word.implemented) != 0) {
            lines.Fail("field mask " + Quoted(words[1]) + " must be bits the word implements (" +
                       Hex(word.implemented) + ")");
        }
        for (std::size_t i = 2; i < words.size(); ++i) {
            const std::size_t equals = words[i].find('=');
            if (equals == std::string_view::npos) {
                lines.Fail("setting " + Quoted(words[i]) + " is not NAME=VALUE");
            }
            ConfigSetting setting;
            setting.name = Name(lines, words[i].substr(0, equals), "setting");
            setting.equ = Number(lines, words[i].substr(equals + 1), 0xFFFF);
            if (((setting.equ | mask) & facts_->wordMask) != facts_->wordMask) {
                lines.Fail("setting " + setting.name + " clears bits outside its field " +
                           Hex(mask));
            }
            setting.mask = mask;
            setting.value = setting.equ & mask;
            names_.emplace_back(words[i].substr(0, equals), lines.Offset());
            word.settings.push_back(std::move(setting));
        }
    }

    // "reg ADDRESS NAME [BIT0 ... BIT7]"
    void RegisterLine(const Lines& lines, const std::vector<std::string_view>& words) {
        Device& device = draft_.device;
        if (words.size() != 3 && words.size() != 11) {
            lines.Fail("'reg' takes an address, a name and either no or eight bit names");
        }
        Register reg;
        reg.address = Number(lines, words[1], kMaxImageAddress);
        if (reg.address >= device.bankCount * device.bankSize) {
            lines.Fail("register address " + Quoted(words[1]) + " is beyond the part's " +
                       std::to_string(device.bankCount) + " banks");
        }
        reg.name = Name(lines, words[2], "register");
        for (std::size_t bit = 0; bit < 8 && words.size() == 11; ++bit) {
            if (words[3 + bit] != "-") {
                reg.bits[bit] = Name(lines, words[3 + bit], "bit");
            }
        }
        if (!device.registers.empty() && device.registers.back().address >= reg.address) {
            sorted_ = false;
        }
        registerOffsets_.push_back(lines.Offset());
        device.registers.push_back(std::move(reg));
    }

    void Finish() {
        Device& device = draft_.device;
        if (!sorted_) {
            std::vector<std::size_t> order(device.registers.size());
            for (std::size_t i = 0; i < order.size(); ++i) {
                order[i] = i;
            }
            std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
                return device.registers[a].address < device.registers[b].address;
            });
            std::vector<Register> registers;
            registers.reserve(order.size());
            for (std::size_t i = 0; i < order.size(); ++i) {
                if (i > 0 &&
                    device.registers[order[i]].address == device.registers[order[i - 1]].address) {
                    throw Fault{registerOffsets_[std::max(order[i], order[i - 1])],
                                "two registers at " + Hex(device.registers[order[i]].address)};
                }
                registers.push_back(std::move(device.registers[order[i]]));
            }
            device.registers = std::move(registers);
        }
        std::sort(device.config.begin(), device.config.end(),
                  [](const ConfigWord& a, const ConfigWord& b) { return a.address < b.address; });
        std::sort(names_.begin(), names_.end());
        for (std::size_t i = 1; i < names_.size(); ++i) {
            if (names_[i].first == names_[i - 1].first) {
                throw Fault{names_[i].second,
                            "setting " + std::string(names_[i].first) + " given twice"};
            }
        }
        if (draft_.ownRegisters && !draft_.registersOf.empty()) {
            throw Fault{draft_.registersOfOffset, "a part with 'reg' lines has no 'registers-of'"};
        }
        if (draft_.ownConfig && !draft_.configOf.empty()) {
            throw Fault{draft_.configOfOffset, "a part with 'config' lines has no 'config-of'"};
        }
    }

    std::string_view text_;
    std::size_t begin_;
    std::size_t end_;
    Keep keep_;
    Draft draft_;
    const CoreFacts* facts_ = nullptr;
    std::vector<std::string_view> once_;
    std::vector<std::pair<std::string_view, std::size_t>> names_;
    std::vector<std::size_t> registerOffsets_;
    bool sorted_ = true;
    std::size_t programOffset_ = 0;
    std::size_t pageOffset_ = 0;
    std::size_t banksOffset_ = 0;
    std::size_t bankSizeOffset_ = 0;
    std::size_t resetOffset_ = 0;
    std::size_t interruptOffset_ = 0;
    std::size_t calibrationOffset_ = 0;
};

}  // namespace

std::string_view SectionName(std::string_view line) {
    const std::size_t close = line.find(']');
    if (line.empty() || line[0] != '[' || close == std::string_view::npos) {
        return {};
    }
    const std::string_view name = line.substr(1, close - 1);
    if (name.empty() || name.size() > kMaxPartName || !IsDigit(name[0]) ||
        !std::all_of(name.begin(), name.end(), IsLetterOrDigit)) {
        return {};
    }
    return name;
}

void ExpectNothing(std::string_view text, std::size_t begin, std::size_t end) {
    Lines lines(text, begin, end);
    if (lines.Next()) {
        lines.Fail("text before the first part section [NAME]");
    }
}

Draft Parse(std::string_view text, std::size_t begin, std::size_t end, Keep keep) {
    return SectionParser(text, begin, end, keep).Parse();
}

void Inherit(Draft& draft, const Draft& from, bool registers) {
    Device& device = draft.device;
    if (registers) {
        if (!from.ownRegisters) {
            throw Fault{draft.registersOfOffset,
                        "part " + from.device.name + " has no 'reg' lines of its own"};
        }
        const unsigned top = device.bankCount * device.bankSize;
        if (!from.device.registers.empty() && from.device.registers.back().address >= top) {
            throw Fault{draft.registersOfOffset, "registers of " + from.device.name +
                                                     " reach beyond this part's " +
                                                     std::to_string(device.bankCount) + " banks"};
        }
        device.registers = from.device.registers;
    } else {
        if (!from.ownConfig) {
            throw Fault{draft.configOfOffset,
                        "part " + from.device.name + " has no 'config' lines of its own"};
        }
        if (FactsOf(from.device.core).wordMask != FactsOf(device.core).wordMask) {
            throw Fault{draft.configOfOffset,
                        "part " + from.device.name + " has configuration words of another width"};
        }
        device.config = from.device.config;
    }
}

}  // namespace tolvek::devices::section
