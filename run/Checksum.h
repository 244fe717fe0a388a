// Record checksums. The listing's record checks never look at them (merged
// split files carry "XX" there), so they are checked on their own, for the
// front end to warn about or refuse.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolvek {

struct ChecksumFault {
    long lineIndex = 0;     // counted from 0, as the line number after a failed run
    std::string found;      // the record's two checksum characters, as they stand
    unsigned expected = 0;  // what the record's bytes call for
};

struct ChecksumReport {
    std::vector<ChecksumFault> faults;  // the first ones found, at most the scan's limit
    long count = 0;                     // every record with a wrong checksum
};

// The checksum a record line calls for: the two's complement of the sum of its
// bytes from the byte count to the last data byte. Nothing when the line is no
// whole record (a colon, then hexadecimal digits exactly as many as its byte
// count calls for, then two checksum characters).
std::optional<unsigned> ExpectedChecksum(std::string_view line);

// Adds one line of a file, counted from 0, to a report that keeps at most
// `keep` faults: a whole record with a wrong checksum is a fault; any other
// line is passed over.
void TallyChecksum(std::string_view line, long lineIndex, ChecksumReport& report,
                   std::size_t keep = 3);

// Checks every whole record of a file up to its end-of-file record, where the
// run stops reading; a line that is no whole record (which the run reports, or
// skips for its address) is passed over. A file that cannot be read gives no
// faults: the run itself reports that.
ChecksumReport ScanChecksums(const std::string& path, std::size_t keep = 3);

}  // namespace tolvek
