#include "chipdb/PartName.h"

#include <algorithm>
#include <cctype>

namespace tolvek {

std::string PartNameKey(std::string_view name) {
    std::string key(name);
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // gpasm and the vendors' tools write "p16f84a" and "PIC16F84A"; a prefix is
    // only a prefix where a digit follows, so no name shrinks to nothing
    for (const std::string_view prefix : {"pic", "p"}) {
        if (key.size() > prefix.size() && key.starts_with(prefix) &&
            std::isdigit(static_cast<unsigned char>(key[prefix.size()]))) {
            key.erase(0, prefix.size());
            break;
        }
    }
    return key;
}

std::optional<std::size_t> FindPartName(std::string_view wanted,
                                        std::span<const std::string> names) {
    const auto exact = std::find(names.begin(), names.end(), wanted);
    if (exact != names.end()) {
        return static_cast<std::size_t>(exact - names.begin());
    }
    const std::string key = PartNameKey(wanted);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (PartNameKey(names[i]) == key) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace tolvek
