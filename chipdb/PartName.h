// Part names as people and tools write them: "16F84A", "16f84a", "p16f84a",
// "PIC16F84A" all name one part.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tolvek {

// The name in lower case without a leading "p" or "pic" in front of a digit.
std::string PartNameKey(std::string_view name);

// The index of the name that means the same part as wanted: an exact match
// first, then the first whose key equals wanted's. Nothing when none does.
std::optional<std::size_t> FindPartName(std::string_view wanted,
                                        std::span<const std::string> names);

}  // namespace tolvek
