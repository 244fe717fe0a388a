// Reading the device file (docs/devices.md describes it): one section per part,
// "key value..." lines, checked so that whatever the bytes, the result is a
// device list or a message naming the line and the fault.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "devices/Device.h"

namespace tolvek::devices {

namespace {

constexpr std::size_t kMaxFileBytes = std::size_t{64} << 20;
constexpr std::size_t kMaxLineBytes = std::size_t{1} << 16;
constexpr std::size_t kMaxPartName = 32;
constexpr std::size_t kMaxName = 64;
constexpr std::size_t kMaxParts = 4096;
// "-of" lines copy registers and settings from part to part, so the file's size
// alone does not bound them.
constexpr std::size_t kMaxRegisters = std::size_t{1} << 19;
constexpr std::size_t kMaxSettings = std::size_t{1} << 18;
constexpr std::size_t kMaxConfigWords = 16;
constexpr unsigned kMaxImageAddress = 0xFFFF;

// A fault in the file: where (a byte offset, turned into a line number at the
// end) and what.
struct Fault {
    std::size_t offset;
    std::string message;
};

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
char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
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

// The part name of a section line "[16F877A]", or empty where it is none.
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

// Finds where each section begins: a line that starts with "[". The bracket
// stands nowhere else but in comments, so a search for it skips most bytes.
class SectionScan {
  public:
    explicit SectionScan(std::string_view text) : text_(text) {}

    // The offset of the next section line, or npos.
    std::size_t Next() {
        while (pos_ < text_.size()) {
            const void* found = std::memchr(text_.data() + pos_, '[', text_.size() - pos_);
            if (found == nullptr) {
                break;
            }
            const std::size_t at =
                static_cast<std::size_t>(static_cast<const char*>(found) - text_.data());
            pos_ = at + 1;
            if (at == 0 || text_[at - 1] == '\n') {
                return at;
            }
        }
        pos_ = text_.size();
        return std::string_view::npos;
    }

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

std::vector<std::size_t> SectionStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    SectionScan scan(text);
    for (std::size_t at = scan.Next(); at != std::string_view::npos; at = scan.Next()) {
        starts.push_back(at);
    }
    return starts;
}

// The part name of the section line at offset.
std::string_view SectionNameAt(std::string_view text, std::size_t offset) {
    const std::size_t stop = text.find('\n', offset);
    return SectionName(text.substr(offset, stop == std::string_view::npos ? stop : stop - offset));
}

// Whether a section's name is the canonical name wanted.
bool SameName(std::string_view name, std::string_view wanted) {
    return name.size() == wanted.size() && std::equal(name.begin(), name.end(), wanted.begin(),
                                                      [](char a, char b) { return Upper(a) == b; });
}

// A part as its section gives it, with the parts its "-of" lines name.
struct Draft {
    Device device;
    std::size_t offset = 0;  // of the section line
    bool ownRegisters = false;
    bool ownConfig = false;
    std::string_view registersOf;
    std::size_t registersOfOffset = 0;
    std::string_view configOf;
    std::size_t configOfOffset = 0;
};

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
    // A part's own section is read whole; of a section that a "-of" line names,
    // only the lines asked for (registers or settings).
    enum Keep { kAll, kRegisters, kConfig };

    SectionParser(std::string_view text, std::size_t begin, std::size_t end, Keep keep = kAll)
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
        bool seen[7] = {};
        static const char* const kKeys[] = {"core",      "program", "page",     "banks",
                                            "bank-size", "reset",   "interrupt"};
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
    }

    void ReadLayout() {
        Lines lines(text_, begin_, end_);
        lines.Next();
        while (lines.Next()) {
            const std::vector<std::string_view>& words = lines.Words();
            const std::string_view key = words[0];
            if (key == "reg") {
                draft_.ownRegisters = true;
                if (keep_ != kConfig) {
                    RegisterLine(lines, words);
                }
            } else if (key == "field" || key == "config") {
                draft_.ownConfig = true;
                if (keep_ == kRegisters) {
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
                       key != "bank-size" && key != "reset" && key != "interrupt") {
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
            if (++settings_ > kMaxSettings) {
                lines.Fail("too many configuration settings");
            }
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
    std::size_t settings_ = 0;
    bool sorted_ = true;
    std::size_t programOffset_ = 0;
    std::size_t pageOffset_ = 0;
    std::size_t banksOffset_ = 0;
    std::size_t bankSizeOffset_ = 0;
    std::size_t resetOffset_ = 0;
    std::size_t interruptOffset_ = 0;
};

// Takes the registers or settings a "-of" line names from an earlier part.
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

std::size_t LineNumber(std::string_view text, std::size_t offset) {
    return static_cast<std::size_t>(std::count(
               text.begin(),
               text.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text.size())), '\n')) +
           1;
}

std::string Describe(std::string_view text, const Fault& fault) {
    return "line " + std::to_string(LineNumber(text, fault.offset)) + ": " + fault.message;
}

// The bytes of a file, read whole.
class FileText {
  public:
    // Refuses what is not a regular file (a FIFO or a device would block or never
    // end) and files beyond the size limit.
    bool Read(const std::string& path, std::string& error) {
        const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        const bool read = ReadOpen(fd, path, error);
        close(fd);
        return read;
    }

    std::string_view View() const { return {data_.get(), size_}; }

  private:
    bool ReadOpen(int fd, const std::string& path, std::string& error) {
        struct stat info {};
        if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            error = "cannot read " + path + ": not a regular file";
            return false;
        }
        const std::string tooLarge =
            path + " is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB";
        if (static_cast<unsigned long long>(info.st_size) > kMaxFileBytes) {
            error = tooLarge;
            return false;
        }
        // one byte more than the file has, to see whether it grew since fstat
        std::size_t capacity = static_cast<std::size_t>(info.st_size) + 1;
        data_.reset(new char[capacity]);
        size_ = 0;
        while (true) {
            if (size_ == capacity) {
                if (capacity > kMaxFileBytes) {
                    error = tooLarge;
                    return false;
                }
                capacity = std::min(kMaxFileBytes + 1, capacity * 2);
                std::unique_ptr<char[]> larger(new char[capacity]);
                std::memcpy(larger.get(), data_.get(), size_);
                data_ = std::move(larger);
            }
            const ssize_t got = read(fd, data_.get() + size_, capacity - size_);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                error = "cannot read " + path + ": " + std::strerror(errno);
                return false;
            }
            if (got == 0) {
                return true;
            }
            size_ += static_cast<std::size_t>(got);
        }
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
};

}  // namespace

std::optional<DeviceDb> DeviceDb::Parse(std::string_view text, std::string& error) {
    const std::vector<std::size_t> starts = SectionStarts(text);
    try {
        Lines before(text, 0, starts.empty() ? text.size() : starts[0]);
        if (before.Next()) {
            before.Fail("text before the first part section [NAME]");
        }
        if (starts.size() > kMaxParts) {
            throw Fault{starts[kMaxParts], "more than " + std::to_string(kMaxParts) + " parts"};
        }
        std::vector<Draft> drafts;
        drafts.reserve(starts.size());
        std::unordered_map<std::string, std::size_t> index;
        std::size_t registers = 0;
        for (std::size_t i = 0; i < starts.size(); ++i) {
            const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : text.size();
            Draft draft = SectionParser(text, starts[i], end).Parse();
            if (!index.emplace(draft.device.name, drafts.size()).second) {
                throw Fault{starts[i], "part " + draft.device.name + " given twice (also line " +
                                           std::to_string(LineNumber(
                                               text, drafts[index[draft.device.name]].offset)) +
                                           ")"};
            }
            for (const bool ofRegisters : {true, false}) {
                const std::string_view of = ofRegisters ? draft.registersOf : draft.configOf;
                if (of.empty()) {
                    continue;
                }
                const auto from = index.find(DeviceDb::Canonical(of));
                if (from == index.end() || from->second == drafts.size()) {
                    throw Fault{ofRegisters ? draft.registersOfOffset : draft.configOfOffset,
                                "no part " + std::string(of) + " before this one"};
                }
                Inherit(draft, drafts[from->second], ofRegisters);
            }
            registers += draft.device.registers.size();
            if (registers > kMaxRegisters) {
                throw Fault{starts[i], "more than " + std::to_string(kMaxRegisters) +
                                           " registers in the file"};
            }
            drafts.push_back(std::move(draft));
        }
        DeviceDb db;
        db.devices_.reserve(drafts.size());
        for (Draft& draft : drafts) {
            db.devices_.push_back(std::move(draft.device));
        }
        return db;
    } catch (const Fault& fault) {
        error = Describe(text, fault);
        return std::nullopt;
    }
}

std::optional<DeviceDb> DeviceDb::Load(const std::string& path, std::string& error) {
    FileText file;
    if (!file.Read(path, error)) {
        return std::nullopt;
    }
    std::optional<DeviceDb> db = Parse(file.View(), error);
    if (!db) {
        error = path + ": " + error;
    }
    return db;
}

std::optional<Device> DeviceDb::LoadPart(const std::string& path, std::string_view name,
                                         std::string& error, std::vector<std::string>* closest) {
    FileText file;
    if (!file.Read(path, error)) {
        return std::nullopt;
    }
    const std::string_view text = file.View();
    const std::string wanted = Canonical(name);
    // sections up to the part's: the parts its -of lines name stand before it
    std::vector<std::size_t> starts;
    SectionScan scan(text);
    std::size_t at = scan.Next();
    while (at != std::string_view::npos && !SameName(SectionNameAt(text, at), wanted)) {
        starts.push_back(at);
        at = scan.Next();
    }
    if (at == std::string_view::npos) {
        error = "no part " + std::string(name.substr(0, 40)) + " in " + path;
        if (closest != nullptr) {
            std::vector<std::string> names;
            for (const std::size_t start : starts) {
                const std::string_view found = SectionNameAt(text, start);
                if (!found.empty()) {
                    names.push_back(Canonical(found));
                }
            }
            *closest = ClosestNames(names, name, 3);
        }
        return std::nullopt;
    }
    const std::size_t next = scan.Next();
    try {
        Draft draft =
            SectionParser(text, at, next == std::string_view::npos ? text.size() : next).Parse();
        for (const bool ofRegisters : {true, false}) {
            const std::string_view of = ofRegisters ? draft.registersOf : draft.configOf;
            if (of.empty()) {
                continue;
            }
            const std::string canonical = Canonical(of);
            std::size_t from = 0;
            while (from < starts.size() &&
                   !SameName(SectionNameAt(text, starts[from]), canonical)) {
                ++from;
            }
            if (from == starts.size()) {
                throw Fault{ofRegisters ? draft.registersOfOffset : draft.configOfOffset,
                            "no part " + std::string(of) + " before this one"};
            }
            const std::size_t end = from + 1 < starts.size() ? starts[from + 1] : at;
            const SectionParser::Keep keep =
                ofRegisters ? SectionParser::kRegisters : SectionParser::kConfig;
            Inherit(draft, SectionParser(text, starts[from], end, keep).Parse(), ofRegisters);
        }
        return std::move(draft.device);
    } catch (const Fault& fault) {
        error = path + ": " + Describe(text, fault);
        return std::nullopt;
    }
}

}  // namespace tolvek::devices
