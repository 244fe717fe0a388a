// INHX8M record checks, result codes and the outcome shown after a run.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "base/Conversions.h"

namespace tolvek {

// The outcome of a pass, 0 to 12.
enum ResultCode : int {
    kResultOk = 0,
    kResultLineLength = 1,
    kResultNoColon = 2,
    kResultByteField = 3,
    kResultAddressField = 4,
    kResultTypeDigits = 5,
    kResultTypeValue = 6,
    kResultCodeData = 7,
    kResultNoInstruction = 8,
    kResultByteCountLess = 9,
    kResultNoEof = 10,
    kResultByteCountMore = 11,
    kResultTooManyTargets = 12,
};

// Longest accepted record line: 11 + 2 * 16 characters.
inline constexpr std::size_t kMaxRecordLine = 43;
// Records at this byte address and above lie outside program memory and are skipped.
inline constexpr int kFirstSkippedAddress = 0x4000;

// What the checks of one line found.
struct RecordCheck {
    enum Kind { kData, kSkip, kEndOfFile, kFault };
    Kind kind = kFault;
    int code = kResultOk;  // the fault's code when kind is kFault
    int byteCount = 0;
    int address = 0;
    int type = 0;
};

// Checks one line in the fixed order; the first failing check decides.
// With acceptExtendedAddress, a well-formed type 04 record (INHX32) is reported
// as kData with type 4 and no further meaning; the caller handles it.
RecordCheck CheckRecordLine(std::string_view line, bool acceptExtendedAddress = false);

// Character at a position of the NUL-padded work buffer.
inline char CharAt(std::string_view line, std::size_t position) {
    return position < line.size() ? line[position] : '\0';
}

// Word text of the data word whose four characters start at position p, written
// into out: high byte's digits, then low byte's, case unchanged; false when any
// is not a hexadecimal digit.
inline bool ExtractCodeData(std::string_view line, std::size_t p, char (&out)[4]) {
    const char c0 = CharAt(line, p);
    const char c1 = CharAt(line, p + 1);
    const char c2 = CharAt(line, p + 2);
    const char c3 = CharAt(line, p + 3);
    // one test for all four (no branch between them): a word is nearly always
    // four digits
    const int digits = static_cast<int>(TestHex(c0)) & static_cast<int>(TestHex(c1)) &
                       static_cast<int>(TestHex(c2)) & static_cast<int>(TestHex(c3));
    if (digits == 0) {
        return false;
    }
    out[0] = c2;
    out[1] = c3;
    out[2] = c0;
    out[3] = c1;
    return true;
}

// Which of the six legend labels (":", "BB", "AAAA", "TT", data, "CC") are red.
struct LabelColors {
    std::array<bool, 6> red{};
};
enum LegendLabel { kColLab, kByteLab, kAddLab, kRTLab, kDataLab, kChkLab };
inline constexpr std::array<const char*, 6> kLegendTexts = {
    ":", "BB", "AAAA", "TT", "HHHHHH. . . . . . . . . . . . . . . HHHHHH", "CC"};

LabelColors SetLabelColor(bool colon, bool byteCount, bool address, bool recordType, bool data,
                          bool checksum);

// The status message of a result code; for code 0 the record count text is placed
// between "[OK]:  " and the rest.
std::string StatusMessage(int code, std::string_view lineNumber);

// Everything a front end shows after a run.
struct Outcome {
    int code = kResultOk;  // -1 after an input/output failure
    std::string statusText;
    bool statusRed = false;
    bool panelVisible = false;  // the error panel with the record legend
    bool lineVisible = false;   // the line number and the line
    LabelColors colors;         // the legend's red fields
    // After a fault "LineNumber  " and the number of the line (counted from 0),
    // else the number of the end-of-file line, which counts the records.
    std::string lineNumber;
    std::string line;  // the line a fault was found in
};

// The outcome of a result code, with the texts of the run's last line.
Outcome ProcessErrorMessage(int code, std::string_view lineNumber, std::string_view line);

// A record line of type 04, the extended linear address of INHX32 files; in
// INHX8M it stops the run with code 6.
inline bool IsExtendedAddressRecord(std::string_view line) {
    return line.size() >= 9 && line[7] == '0' && line[8] == '4';
}

}  // namespace tolvek
