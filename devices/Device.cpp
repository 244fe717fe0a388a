// Finding registers in a part, and parts by the names users write.
#include <algorithm>
#include <cctype>
#include <numeric>

#include "devices/Device.h"

namespace tolvek::devices {

namespace {

const Register* Exactly(const std::vector<Register>& registers, unsigned address) {
    const auto at =
        std::lower_bound(registers.begin(), registers.end(), address,
                         [](const Register& reg, unsigned wanted) { return reg.address < wanted; });
    return at != registers.end() && at->address == address ? &*at : nullptr;
}

// Edits (insert, delete, replace) that turn one name into the other.
std::size_t Distance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

const Register* Device::RegisterAt(unsigned address) const {
    if (const Register* reg = Exactly(registers, address)) {
        return reg;
    }
    if (bankSize == 0 || address < bankSize || !Unbanked(address % bankSize)) {
        return nullptr;
    }
    return Exactly(registers, address % bankSize);
}

bool Device::Unbanked(unsigned offset) const {
    return std::any_of(unbanked.begin(), unbanked.end(), [offset](const Range& range) {
        return range.first <= offset && offset <= range.last;
    });
}

std::string DeviceDb::Canonical(std::string_view name) {
    const auto digitAt = [name](std::size_t i) {
        return i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]));
    };
    const auto letterAt = [name](std::size_t i, char upper) {
        return i < name.size() && std::toupper(static_cast<unsigned char>(name[i])) == upper;
    };
    if (letterAt(0, 'P') && letterAt(1, 'I') && letterAt(2, 'C') && digitAt(3)) {
        name.remove_prefix(3);
    } else if (letterAt(0, 'P') && digitAt(1)) {
        name.remove_prefix(1);
    }
    std::string canonical(name);
    for (char& c : canonical) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return canonical;
}

const Device* DeviceDb::Find(std::string_view name) const {
    const std::string wanted = Canonical(name);
    for (const Device& device : devices_) {
        if (device.name == wanted) {
            return &device;
        }
    }
    return nullptr;
}

std::vector<std::string> ClosestNames(const std::vector<std::string>& names, std::string_view name,
                                      std::size_t count) {
    const std::string wanted = DeviceDb::Canonical(name);
    // a name further than this is no likely slip of the keyboard
    const std::size_t limit = std::max<std::size_t>(2, wanted.size() / 3);
    std::vector<std::pair<std::size_t, const std::string*>> near;
    for (const std::string& candidate : names) {
        const std::size_t distance = Distance(wanted, candidate);
        if (distance <= limit) {
            near.emplace_back(distance, &candidate);
        }
    }
    std::sort(near.begin(), near.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : *a.second < *b.second;
    });
    std::vector<std::string> closest;
    for (std::size_t i = 0; i < near.size() && i < count; ++i) {
        closest.push_back(*near[i].second);
    }
    return closest;
}

std::vector<std::string> DeviceDb::Closest(std::string_view name, std::size_t count) const {
    std::vector<std::string> names;
    names.reserve(devices_.size());
    for (const Device& device : devices_) {
        names.push_back(device.name);
    }
    return ClosestNames(names, name, count);
}

}  // namespace tolvek::devices
