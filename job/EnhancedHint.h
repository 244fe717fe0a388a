// The hint after a listing run of an image made for the enhanced midrange core,
// which the listing's decoders do not know.
#pragma once

#include <string>

namespace tolvek {

// A hint line naming --source when the Intel-hex image at path looks like one
// for an enhanced midrange part (PIC12F1xxx/16F1xxx): configuration data at word
// 8007h or above, or at least two words that only that core has. chipName is the
// name given with --chip (empty if none); when deviceFile knows it as an enhanced
// part, the hint names it. Empty when nothing points to that core or the file
// cannot be read as Intel hex.
std::string EnhancedCoreHint(const std::string& path, const std::string& chipName,
                             const std::string& deviceFile);

// A hint line naming --source when chipName, unknown to the chip data, is an
// enhanced midrange part of deviceFile; empty otherwise.
std::string EnhancedPartHint(const std::string& chipName, const std::string& deviceFile);

}  // namespace tolvek
