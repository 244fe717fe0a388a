#include "run/Record.h"

#include "base/Conversions.h"

namespace tolvek {

RecordCheck CheckRecordLine(std::string_view line, bool acceptExtendedAddress) {
    // The usual record, sixteen data bytes at an address of program memory,
    // passes every check below as this one test; any other line takes them in
    // their order.
    if (line.size() == kMaxRecordLine && line[0] == ':' && line[1] == '1' && line[2] == '0' &&
        line[7] == '0' && line[8] == '0' && line[kMaxRecordLine - 1] != '\0') {
        const int address = ExtractAddressBytes(line[3], line[4], line[5], line[6]);
        if (address >= 0 && address < kFirstSkippedAddress) {
            return {RecordCheck::kData, kResultOk, 16, address, 0};
        }
    }
    RecordCheck check;
    const auto fault = [&check](int code) {
        check.kind = RecordCheck::kFault;
        check.code = code;
        return check;
    };
    if (line.size() > kMaxRecordLine) {
        return fault(kResultLineLength);
    }
    if (CharAt(line, 0) != ':') {
        return fault(kResultNoColon);
    }
    check.byteCount = ExtractLineBytes(CharAt(line, 1), CharAt(line, 2));
    if (check.byteCount < 0) {
        return fault(kResultByteField);
    }
    check.address =
        ExtractAddressBytes(CharAt(line, 3), CharAt(line, 4), CharAt(line, 5), CharAt(line, 6));
    if (check.address < 0) {
        return fault(kResultAddressField);
    }
    if (check.address >= kFirstSkippedAddress) {
        check.kind = RecordCheck::kSkip;
        return check;
    }
    check.type = ExtractLineBytes(CharAt(line, 7), CharAt(line, 8));
    if (check.type < 0) {
        return fault(kResultTypeDigits);
    }
    if (check.type == 1) {
        // nothing else of an end-of-file record is checked
        check.kind = RecordCheck::kEndOfFile;
        return check;
    }
    const bool extended = acceptExtendedAddress && check.type == 4;
    if (check.type != 0 && !extended) {
        return fault(kResultTypeValue);
    }
    const std::size_t end = 11 + 2 * static_cast<std::size_t>(check.byteCount);
    if (CharAt(line, end - 1) == '\0') {
        return fault(kResultByteCountLess);
    }
    if (CharAt(line, end) != '\0') {
        return fault(kResultByteCountMore);
    }
    if (extended) {
        // an extended linear address record is byte count 02, address 0000, four hex digits
        if (check.byteCount != 2) {
            return fault(kResultByteField);
        }
        if (check.address != 0) {
            return fault(kResultAddressField);
        }
        if (ExtractAddressBytes(line[9], line[10], line[11], line[12]) < 0) {
            return fault(kResultCodeData);
        }
    }
    check.kind = RecordCheck::kData;
    return check;
}

LabelColors SetLabelColor(bool colon, bool byteCount, bool address, bool recordType, bool data,
                          bool checksum) {
    LabelColors colors;
    colors.red = {colon, byteCount, address, recordType, data, checksum};
    return colors;
}

std::string StatusMessage(int code, std::string_view lineNumber) {
    switch (code) {
        case kResultOk:
            return "[OK]:  " + std::string(lineNumber) + " records disassembled successfully.";
        case kResultLineLength:
            return "[ERROR 01]: Record line length is invalid.";
        case kResultNoColon:
            return "[ERROR 02]: Record line not formatted correctly.";
        case kResultByteField:
            return "[ERROR 03]: Byte Field is invalid.";
        case kResultAddressField:
            return "[ERROR 04]: Address Field is invalid.";
        case kResultTypeDigits:
            return "[ERROR 05]: Data in Record Type field is invalid.";
        case kResultTypeValue:
            return "[ERROR 06]: Record Type field not equal to 00 or 01.";
        case kResultCodeData:
            return "[ERROR 07]: Code data is not a hex value.";
        case kResultNoInstruction:
            return "[ERROR 08]: Data cannot be converted to an instruction.";
        case kResultByteCountLess:
            return "[ERROR 09]: Byte count value less than specified.";
        case kResultNoEof:
            return "[WARNING 01]: Did not find EOF marker in HEX file.";
        case kResultByteCountMore:
            return "[ERROR 10]: Byte count value more than specified.";
        case kResultTooManyTargets:
            return "[ERROR 11]: Too many GOTO/CALL instructions to resolve.";
        default:
            return {};
    }
}

namespace {

LabelColors ColorsFor(int code) {
    switch (code) {
        case kResultLineLength:
            return SetLabelColor(true, true, true, true, true, true);
        case kResultNoColon:
            return SetLabelColor(true, false, false, false, false, false);
        case kResultByteField:
            return SetLabelColor(false, true, false, false, false, false);
        case kResultAddressField:
            return SetLabelColor(false, false, true, false, false, false);
        case kResultTypeDigits:
        case kResultTypeValue:
        case kResultNoEof:
            return SetLabelColor(false, false, false, true, false, false);
        case kResultCodeData:
        case kResultNoInstruction:
            return SetLabelColor(false, false, false, false, true, false);
        case kResultByteCountLess:
        case kResultByteCountMore:
        case kResultTooManyTargets:
            return SetLabelColor(false, true, false, false, true, false);
        default:
            return SetLabelColor(false, false, false, false, false, false);
    }
}

}  // namespace

Outcome ProcessErrorMessage(int code, std::string_view lineNumber, std::string_view line) {
    Outcome outcome;
    outcome.code = code;
    outcome.lineNumber = lineNumber;
    outcome.line = line;
    if (code > 0) {
        outcome.lineVisible = true;
        outcome.statusRed = true;
    }
    outcome.statusText = StatusMessage(code, lineNumber);
    if (code >= 1 && code <= 12) {
        outcome.colors = ColorsFor(code);
        outcome.panelVisible = true;
    }
    return outcome;
}

}  // namespace tolvek
