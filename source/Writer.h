// The reconstructed source: the whole image as gpasm source, with the names the
// flow analysis can vouch for, that assembles to the image's bytes without an
// include file.
#pragma once

#include <string>

#include "source/Flow.h"
#include "source/Program.h"
#include "source/Symbols.h"

namespace tolvek::source {

// The source text of a program whose flow has been run; inputName goes into
// the header comment.
std::string WriteSource(const Program& program, const Flow& flow, const Symbols& symbols,
                        const std::string& inputName);

}  // namespace tolvek::source
