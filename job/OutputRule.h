// Which file a run may write over. A listing's `.dis` and an INHX8S pair's
// `.dsm` are the format's own and always written; a source goes to BASE.asm,
// which beside a hex file is as often the user's own program (gpasm and MPASM
// build foo.asm into foo.hex in one folder). So BASE.asm is replaced only when
// Tolvek wrote it, or when the user named it (-o FILE, or a save dialog).
#pragma once

#include <string>

namespace tolvek {

enum class ExistingOutput {
    kNone,    // nothing there (or nothing a run could replace: the writer says why)
    kTolvek,  // a source Tolvek wrote, by this version or an earlier one
    kOther,   // anything else, a file that cannot be read included
};

ExistingOutput CheckExistingSource(const std::string& path);

}  // namespace tolvek
