#include "job/RunNotes.h"

#include <filesystem>
#include <system_error>

#include "base/Conversions.h"
#include "convert/SplitMerge.h"
#include "job/EnhancedHint.h"
#include "run/Record.h"

namespace tolvek {

std::vector<std::string> ChecksumNotes(const std::string& input, const ChecksumReport& report,
                                       bool strict) {
    std::vector<std::string> lines;
    if (report.count == 0) {
        return lines;
    }
    const std::string kind = strict ? "error: " : "warning: ";
    for (const ChecksumFault& fault : report.faults) {
        lines.push_back(kind + input + " LineNumber " + std::to_string(fault.lineIndex) +
                        ": checksum " + fault.found + ", expected " +
                        DecToHex(static_cast<long>(fault.expected)));
    }
    const long more = report.count - static_cast<long>(report.faults.size());
    if (more > 0) {
        lines.push_back(kind + input + ": " + std::to_string(more) + " more record" +
                        (more == 1 ? "" : "s") + " with a wrong checksum, " +
                        std::to_string(report.count) + " in all");
    }
    if (strict) {
        lines.push_back(input +
                        ": not disassembled: --strict refuses records with a wrong checksum");
    }
    return lines;
}

std::vector<std::string> ListingHints(const std::string& input, const RunResult& result,
                                      const ChipState& chip, const HintContext& context) {
    std::vector<std::string> lines;
    if (result.io) {
        return lines;
    }
    // An enhanced-core image decodes on the 14-bit core without a fault but wrongly;
    // it shows by its config words (INHX32 only) or by words only that core has.
    if (context.format == InputFormat::kInhx32 || result.code == kResultNoInstruction) {
        std::string hint = EnhancedCoreHint(input, context.chipName, context.deviceFile);
        if (!hint.empty()) {
            lines.push_back(std::move(hint));
        }
    }
    if (result.code == kResultOk) {
        return lines;
    }
    if (context.format == InputFormat::kInhx8m && result.code == kResultTypeValue &&
        IsExtendedAddressRecord(result.outcome.line)) {
        lines.emplace_back("hint: this looks like an INHX32 file; --format inhx32 reads it");
    }
    if (result.code == kResultNoInstruction) {
        std::string hint = NoInstructionHint(result.outcome.line, chip, context.chipSource);
        if (!hint.empty()) {
            lines.push_back(std::move(hint));
        }
    }
    return lines;
}

std::string MergeFailedHint(const std::string& chosen) {
    std::error_code error;
    if (!std::filesystem::equivalent(chosen, PartnerFileName(chosen), error)) {
        return {};
    }
    return "hint: " + chosen +
           " holds the high bytes of its pair; open the low-byte .hxl file, which finds this "
           "one beside it";
}

}  // namespace tolvek
