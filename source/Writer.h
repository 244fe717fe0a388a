// The reconstructed source: the whole image as gpasm source, with the names the
// flow analysis can vouch for, that assembles to the image's bytes without an
// include file.
#pragma once

#include <string>
#include <string_view>

#include "source/Flow.h"
#include "source/Program.h"
#include "source/Symbols.h"

namespace tolvek::source {

// How the first line of every source Tolvek writes starts.
inline constexpr std::string_view kSourceFirstLine = "; Source reconstructed by tolvek";

// True when the start of a file (its first two lines at least) is that of a
// source Tolvek wrote, by this version or an earlier one.
bool IsWrittenByTolvek(std::string_view head);

// Where the source goes, piece by piece, in order.
class SourceSink {
  public:
    virtual ~SourceSink() = default;
    virtual void Write(std::string_view piece) = 0;
};

// Writes the source of a program whose flow has been run; inputName goes into
// the header comment.
void WriteSource(const Program& program, const Flow& flow, const Symbols& symbols,
                 const std::string& inputName, SourceSink& sink);
// The same, as one text.
std::string WriteSource(const Program& program, const Flow& flow, const Symbols& symbols,
                        const std::string& inputName);

}  // namespace tolvek::source
