// Jump-target labels: "ad" and the four upper-case hexadecimal digits of a word address.
#pragma once

#include <string>

namespace tolvek {

// The label of a word address, written at out; returns out + 6.
inline char* WriteTargetLabel(char* out, unsigned wordAddress) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out[0] = 'a';
    out[1] = 'd';
    out[2] = kDigits[(wordAddress >> 12) & 15];
    out[3] = kDigits[(wordAddress >> 8) & 15];
    out[4] = kDigits[(wordAddress >> 4) & 15];
    out[5] = kDigits[wordAddress & 15];
    return out + 6;
}

// The same, appended to out.
inline void AppendTargetLabel(std::string& out, unsigned wordAddress) {
    char label[6];
    out.append(label, WriteTargetLabel(label, wordAddress));
}

}  // namespace tolvek
