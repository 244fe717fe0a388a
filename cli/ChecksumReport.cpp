#include "cli/ChecksumReport.h"

#include "base/Conversions.h"

namespace tolvek::cli {

void PrintChecksumFaults(const std::string& input, const ChecksumReport& report, bool strict,
                         Print& out) {
    if (report.count == 0) {
        return;
    }
    const char* const kind = strict ? "error" : "warning";
    for (const ChecksumFault& fault : report.faults) {
        out << "tolvek-cli: " << kind << ": " << input << " LineNumber " << fault.lineIndex
            << ": checksum " << fault.found << ", expected "
            << DecToHex(static_cast<long>(fault.expected)) << '\n';
    }
    const long more = report.count - static_cast<long>(report.faults.size());
    if (more > 0) {
        out << "tolvek-cli: " << kind << ": " << input << ": " << more << " more record"
            << (more == 1 ? "" : "s") << " with a wrong checksum, " << report.count << " in all\n";
    }
    if (strict) {
        out << "tolvek-cli: " << input
            << ": not disassembled: --strict refuses records with a wrong checksum\n";
    }
}

}  // namespace tolvek::cli
