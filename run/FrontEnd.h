// The seam between the engine and whoever shows its work: the window or the terminal.
#pragma once

#include <string>

#include "base/IoError.h"
#include "run/Record.h"

namespace tolvek {

class FrontEnd {
  public:
    virtual ~FrontEnd() = default;

    // A new status text; the window repaints at once so it shows during the pass.
    virtual void SetStatus(const std::string& text) { (void)text; }
    virtual void SetProgressMax(int maximum) { (void)maximum; }
    // Called after every word of the building pass, unless showsProgress is
    // clear: a front end that shows no progress spares the pass the call.
    virtual void SetProgress(int position) { (void)position; }
    bool showsProgress = true;
    // Clear for a front end that never asks the run for the header's lines
    // (Disassembler::Header): the building pass then writes the header
    // straight into the listing and keeps no copy.
    bool keepsHeader = true;
    virtual void SetBusyCursor(bool busy) { (void)busy; }
    // The result of a run: status text and colour, error panel, line number and text.
    virtual void ShowOutcome(const Outcome& outcome) { (void)outcome; }
    // A file could not be opened, read, created or written.
    virtual void ShowIoError(const IoError& error) { (void)error; }
};

}  // namespace tolvek
