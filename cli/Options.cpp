#include "cli/Options.h"

namespace tolvek::cli {

const char* const kUsage =
    "Usage: tolvek-cli [options] FILE...\n"
    "Disassembles PIC12/PIC16 program memory from Intel-hex files into assembler\n"
    "listings (base name + \".dis\", beside each input).\n"
    "\n"
    "Options:\n"
    "  -f, --format FMT     input format: inhx8m (default), inhx8s (FILE is the\n"
    "                       \".hxl\" low-byte file; its partner is base + \".hxh\")\n"
    "                       or inhx32\n"
    "  -c, --chipdat FILE   read the chip data from FILE instead of \"chipdat.txt\"\n"
    "                       beside the program or in its share/tolvek folder\n"
    "      --no-chipdat     use no chip data: 14-bit core, one ROM page, no names\n"
    "  -p, --chip NAME      select chip NAME, written 16F84A, 16f84a, P16F84A or\n"
    "                       PIC16F84A (default: the first in sorted order)\n"
    "  -l, --list-chips     print the chip names, one per line, and exit\n"
    "  -o, --output FILE    write the listing to FILE ('-' for standard output);\n"
    "                       only with one input\n"
    "      --strict         refuse an INHX8M or INHX32 file in which a record has\n"
    "                       a wrong checksum (without it, a warning)\n"
    "      --source         write the reconstructed source (base name + \".asm\"):\n"
    "                       the whole image as gpasm source with the registers,\n"
    "                       bits and targets the program's flow determines; needs\n"
    "                       --chip\n"
    "      --symbols FILE   with --source: names for labels and data memory\n"
    "                       (default: base name + \".tolvek.sym\" beside the input,\n"
    "                       when its first line is \"# tolvek symbol file\")\n"
    "      --entry ADDR     with --source: the program is also entered at word\n"
    "                       address ADDR (hex, such as 0x200); may be repeated\n"
    "  -h, --help           show this help and exit\n"
    "      --version        show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0 when every input was disassembled, 1 when any input has a fault in its\n"
    "  records (or, with --strict, a wrong checksum), 2 for a usage error or a file\n"
    "  that could not be read or written.\n"
    "\n"
    "Examples:\n"
    "  tolvek-cli --chip 16F84A blink.hex    write blink.dis beside blink.hex\n"
    "  tolvek-cli -p 16f84a -o - blink.hex   print the listing instead\n";

namespace {

// A word address in hex, with or without 0x.
bool ParseAddress(const std::string& text, unsigned& address) {
    std::size_t i = text.starts_with("0x") || text.starts_with("0X") ? 2 : 0;
    if (i >= text.size() || text.size() - i > 6) {
        return false;
    }
    unsigned value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    address = value;
    return true;
}

bool TakeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               const std::string* inlineValue, std::string& value, std::string& error) {
    if (inlineValue != nullptr) {
        value = *inlineValue;
        return true;
    }
    if (i + 1 >= args.size()) {
        error = "option " + name + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, std::string& error) {
    bool onlyFiles = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (onlyFiles || arg == "-" || arg.empty() || arg[0] != '-') {
            options.inputs.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyFiles = true;
            continue;
        }
        std::string name = arg;
        std::string inlineText;
        const std::string* inlineValue = nullptr;
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            if (equals != std::string::npos) {
                name = arg.substr(0, equals);
                inlineText = arg.substr(equals + 1);
                inlineValue = &inlineText;
            }
        }
        std::string value;
        if (name == "--no-chipdat") {
            options.noChipData = true;
        } else if (name == "-c" || name == "--chipdat") {
            if (!TakeValue(args, i, name, inlineValue, options.chipDataFile, error)) {
                return false;
            }
        } else if (name == "-p" || name == "--chip") {
            if (!TakeValue(args, i, name, inlineValue, options.chip, error)) {
                return false;
            }
            options.chipGiven = true;
        } else if (name == "-l" || name == "--list-chips") {
            options.listChips = true;
        } else if (name == "-f" || name == "--format") {
            if (!TakeValue(args, i, name, inlineValue, value, error)) {
                return false;
            }
            if (value == "inhx8m") {
                options.format = Format::kInhx8m;
            } else if (value == "inhx8s") {
                options.format = Format::kInhx8s;
            } else if (value == "inhx32") {
                options.format = Format::kInhx32;
            } else {
                error = "unknown format \"" + value + "\" (use inhx8m, inhx8s or inhx32)";
                return false;
            }
        } else if (name == "-o" || name == "--output") {
            if (!TakeValue(args, i, name, inlineValue, options.output, error)) {
                return false;
            }
            if (options.output.empty()) {
                error = "option " + name + " needs a file name";
                return false;
            }
        } else if (name == "--strict") {
            options.strict = true;
        } else if (name == "--source") {
            options.source = true;
        } else if (name == "--symbols") {
            if (!TakeValue(args, i, name, inlineValue, options.symbolsFile, error)) {
                return false;
            }
        } else if (name == "--entry") {
            if (!TakeValue(args, i, name, inlineValue, value, error)) {
                return false;
            }
            unsigned address = 0;
            if (!ParseAddress(value, address)) {
                error = "--entry takes a word address in hex, such as 0x200, not \"" + value + "\"";
                return false;
            }
            options.entries.push_back(address);
        } else if (name == "-h" || name == "--help") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (options.help || options.version) {
        return true;
    }
    if (options.noChipData && (!options.chipDataFile.empty() || options.chipGiven)) {
        error = "--no-chipdat cannot be combined with --chipdat or --chip";
        return false;
    }
    if (!options.symbolsFile.empty() && !options.source) {
        error = "--symbols goes with --source";
        return false;
    }
    if (!options.entries.empty() && !options.source) {
        error = "--entry goes with --source";
        return false;
    }
    if (options.source && options.noChipData) {
        error = "--source cannot be combined with --no-chipdat";
        return false;
    }
    if (options.inputs.empty() && !options.listChips) {
        error = "no input file";
        return false;
    }
    if (!options.output.empty() && options.inputs.size() > 1) {
        error = "--output takes only one input file";
        return false;
    }
    return true;
}

}  // namespace tolvek::cli
