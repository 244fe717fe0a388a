// Interim reader of the device file, until the device data lands.
#include "devices/Device.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace tolvek::devices {

const Register* Device::RegisterAt(unsigned address) const {
    for (const Register& r : registers) {
        if (r.address == address) {
            return &r;
        }
    }
    return nullptr;
}

namespace {

unsigned Number(const std::string& t) { return static_cast<unsigned>(std::stoul(t, nullptr, 0)); }

std::vector<Range> Ranges(std::istringstream& in) {
    std::vector<Range> out;
    std::string t;
    while (in >> t) {
        const auto dash = t.find('-');
        if (dash == std::string::npos) {
            out.push_back({Number(t), Number(t)});
        } else {
            out.push_back({Number(t.substr(0, dash)), Number(t.substr(dash + 1))});
        }
    }
    return out;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

std::optional<DeviceDb> DeviceDb::Parse(std::string_view text, std::string& error) {
    DeviceDb db;
    std::istringstream lines{std::string(text)};
    std::string line;
    int number = 0;
    try {
        while (std::getline(lines, line)) {
            ++number;
            if (line.empty() || line[0] == '#') continue;
            if (line[0] == '[') {
                db.devices_.emplace_back();
                db.devices_.back().name = line.substr(1, line.find(']') - 1);
                continue;
            }
            Device& d = db.devices_.back();
            std::istringstream in(line);
            std::string key;
            in >> key;
            std::string a, b, c;
            if (key == "core") {
                in >> a;
                d.core = a == "baseline" ? isa::Core::Baseline : a == "enhanced" ? isa::Core::Enhanced : isa::Core::Midrange;
            } else if (key == "program") {
                in >> a; d.programWords = Number(a);
            } else if (key == "page") {
                in >> a; d.pageWords = Number(a);
            } else if (key == "banks") {
                in >> a; d.bankCount = Number(a);
            } else if (key == "bank-size") {
                in >> a; d.bankSize = Number(a);
            } else if (key == "reset") {
                in >> a; d.resetVector = Number(a);
            } else if (key == "interrupt") {
                in >> a; d.interruptVector = Number(a);
            } else if (key == "unbanked") {
                d.unbanked = Ranges(in);
            } else if (key == "gpr") {
                d.gpr = Ranges(in);
            } else if (key == "id") {
                in >> a >> b; d.idFirst = Number(a); d.idCount = Number(b);
            } else if (key == "eeprom") {
                in >> a >> b; d.eepromFirst = Number(a); d.eepromBytes = Number(b);
            } else if (key == "config") {
                in >> a >> b >> c;
                d.config.push_back({Number(a), b == "-" ? "" : b, Number(c), {}});
            } else if (key == "field") {
                in >> a;
                const unsigned mask = Number(a);
                while (in >> b) {
                    const auto eq = b.find('=');
                    d.config.back().settings.push_back({b.substr(0, eq), mask, Number(b.substr(eq + 1)) & mask});
                }
            } else if (key == "reg") {
                in >> a >> b;
                Register r;
                r.address = Number(a);
                r.name = b;
                for (std::size_t i = 0; i < 8 && in >> c; ++i) {
                    r.bits[i] = c == "-" ? "" : c;
                }
                d.registers.push_back(r);
            }
        }
    } catch (const std::exception&) {
        error = "line " + std::to_string(number) + ": bad line";
        return std::nullopt;
    }
    return db;
}

std::optional<DeviceDb> DeviceDb::Load(const std::string& path, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return std::nullopt;
    }
    std::stringstream s;
    s << in.rdbuf();
    return Parse(s.str(), error);
}

const Device* DeviceDb::Find(std::string_view name) const {
    std::string n = Upper(name);
    if (n.starts_with("PIC")) n = n.substr(3);
    else if (n.starts_with("P")) n = n.substr(1);
    for (const Device& d : devices_) {
        if (d.name == n) return &d;
    }
    return nullptr;
}

std::vector<std::string> DeviceDb::Closest(std::string_view, std::size_t) const { return {}; }

}  // namespace tolvek::devices
