#include "engine/Run.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "engine/Conversions.h"
#include "engine/InputFile.h"
#include "engine/LineReader.h"
#include "engine/Listing.h"
#include "engine/ListingFile.h"
#include "engine/Record.h"
#include "engine/WordMemo.h"

namespace tolvek {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// True when both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error) && !error;
}

RunResult IoFailure(const std::string& what, const std::string& file, const std::string& reason) {
    RunResult result;
    result.ioFailed = true;
    result.ioMessage = what + " \"" + file + "\": " + reason;
    return result;
}

RunResult IoFailure(const std::string& what, const std::string& file, int error) {
    return IoFailure(what, file, std::strerror(error != 0 ? error : EIO));
}

}  // namespace

std::string Disassembler::ListingFileName() const {
    return ListingPath.empty() ? ListingName(InputFileName) : ListingPath;
}

RunResult Disassembler::StartButClick(FrontEnd& frontEnd) {
    if (!FileReady || Busy) {
        return {};
    }
    Targets.Clear();
    Busy = true;
    frontEnd.SetProgress(0);
    RunResult result;
    // moving the listing into place would destroy the input
    const auto isListing = [this](const std::string& name) {
        return ListingStream == nullptr && SameFile(name, ListingFileName());
    };
    if (isListing(InputFileName) ||
        std::any_of(SourceFileNames.begin(), SourceFileNames.end(), isListing)) {
        result.ioFailed = true;
        result.ioMessage =
            "Cannot write the listing \"" + ListingFileName() + "\": it is the input file";
    } else {
        frontEnd.SetStatus("Checking file data.");
        result = DissassembleData(0, frontEnd);
    }
    if (!result.ioFailed && result.code == kResultOk) {
        frontEnd.SetStatus("Building file.");
        frontEnd.SetProgressMax(InstructionCount);
        result = DissassembleData(1, frontEnd);
    }
    if (result.ioFailed) {
        Outcome outcome;
        outcome.statusText = result.ioMessage;
        outcome.statusRed = true;
        outcome.code = -1;
        frontEnd.ShowOutcome(outcome);
        frontEnd.ShowIoError(result.ioMessage);
    } else {
        frontEnd.ShowOutcome(ProcessErrorMessage(result.code, LineLab, LineData));
    }
    FileReady = false;
    Busy = false;
    frontEnd.SetProgress(0);
    return result;
}

RunResult Disassembler::DissassembleData(int pass, FrontEnd& frontEnd) {
    InstructionCount = 0;
    long runAddress = -1;
    long lineIndex = -1;
    frontEnd.SetBusyCursor(true);
    struct CursorRestore {
        FrontEnd& frontEnd;
        ~CursorRestore() { frontEnd.SetBusyCursor(false); }
    } cursorRestore{frontEnd};

    std::string reason;
    FilePtr input(OpenInputFile(InputFileName, reason));
    if (!input) {
        return IoFailure("Cannot open the input file", InputFileName, reason);
    }
    LineReader reader(input.get());

    ListingFile listing;
    if (pass == 1) {
        if (ListingStream != nullptr) {
            listing.OpenStream(ListingStream);
        } else if (!listing.Open(ListingFileName())) {
            RunResult result;
            result.ioFailed = true;
            result.ioMessage = listing.Error();
            return result;
        }
        HeadMemo = chip_.ProduceHeader();
        for (const std::string& line : HeadMemo) {
            listing.WriteLine(line);
        }
    }

    DecodeContext context{chip_, Targets, &chip_.Naming()};
    // the checking pass writes nothing, so it leaves register operands unnamed
    context.namesOperands = pass == 1;
    memo_.NewPass();
    Decoded decoded;
    std::string line;
    char word[4];
    bool lineRead = false;
    bool highSegment = false;  // INHX32: records beyond the first 64K bytes are skipped

    const auto finish = [&](int code) {
        RunResult result;
        result.code = code;
        if (code != kResultOk) {
            LineData = lineRead ? line : std::string();
            LineLab = "LineNumber  " + std::to_string(lineIndex);
            listing.Discard();
        } else if (pass == 1) {
            LineLab = std::to_string(lineIndex);
            if (!listing.Commit()) {
                result.ioFailed = true;
                result.ioMessage = listing.Error();
            }
        }
        return result;
    };

    while (reader.ReadLine(line)) {
        ++lineIndex;
        lineRead = true;
        const RecordCheck check = CheckRecordLine(line, AcceptExtendedAddress);
        if (check.kind == RecordCheck::kFault) {
            return finish(check.code);
        }
        if (check.kind == RecordCheck::kSkip) {
            continue;
        }
        if (check.kind == RecordCheck::kEndOfFile) {
            if (pass == 1) {
                listing.WriteLine(kSeparatorLine);
                listing.WriteLine(kEndLine);
                listing.WriteLine(kSeparatorLine);
            }
            return finish(kResultOk);
        }
        if (check.type == 4) {
            highSegment = ExtractAddressBytes(line[9], line[10], line[11], line[12]) != 0;
            continue;
        }
        if (highSegment) {
            continue;
        }
        if (pass == 1 && check.address != runAddress) {
            listing.WriteLine(kSeparatorLine);
            listing.WriteLine(OrgLine(check.address));
            listing.WriteLine(kSeparatorLine);
            runAddress = check.address;
        }
        int remainingBytes = check.byteCount;
        std::size_t position = 9;
        while (remainingBytes != 0) {
            // a word of four digits or upper-case letters is read and keyed in one
            // go; any other goes through the full digit checks
            int key = -1;
            if (position + 4 <= line.size()) {
                // the high byte's digits first: swap the two halves in one store,
                // so that the decoder's wider reads of the word are forwarded
                std::uint32_t digits = 0;
                std::memcpy(&digits, line.data() + position, 4);
                digits = (digits >> 16) | (digits << 16);
                std::memcpy(word, &digits, 4);
                key = WordMemo::Key(word);
            }
            if (key < 0 && !ExtractCodeData(line, position, word)) {
                return finish(kResultCodeData);
            }
            // A word seen before in this pass is not decoded again. The checking
            // pass remembers which words it accepted that name no target (one bit
            // each); the building pass, past its first WordMemo::kWordsFirst words,
            // remembers what each word gave.
            WordMemo::Result result;
            const bool memoized =
                key >= 0 && (pass == 0 || InstructionCount >= WordMemo::kWordsFirst);
            bool known = false;
            if (memoized) {
                known = pass == 0 ? memo_.Accepted(key) : memo_.Find(key, result);
            }
            if (!known) {
                decoded.Reset();
                if (chip_.Core12Bit) {
                    Decode5xInstruction(std::string_view(word, 4), pass, context, decoded);
                } else {
                    ExtractInstructionData(std::string_view(word, 4), pass, context, decoded);
                }
                if (decoded.text.empty()) {
                    return finish(kResultNoInstruction);
                }
                if (decoded.text == kTableFull) {
                    return finish(kResultTooManyTargets);
                }
                if (memoized) {
                    if (pass == 1) {
                        memo_.Store(key, decoded);
                    } else if (!decoded.PageNoteFlag) {
                        memo_.Accept(key);  // a GOTO or CALL must reach the table each time
                    }
                }
                result.text = decoded.text;
                result.ramPageNote = decoded.RamPageNote;
                result.skipLine = decoded.SkipLineFlag;
                result.pageNote = decoded.PageNoteFlag;
                result.blankAfter = decoded.BlankAfterFlag;
                result.jumpTarget = decoded.JumpTarget;
            }
            ++InstructionCount;
            if (pass == 1) {
                frontEnd.SetProgress(InstructionCount);
                if (!result.skipLine) {
                    // the lines are built in place in the listing's buffer
                    const std::size_t longest = 12 + result.text.size() + kCommentColumn +
                                                result.ramPageNote.size() + kMaxPageNote +
                                                2 * kSeparatorLine.size() + 4 * kLineEnd.size();
                    char* out = listing.Reserve(longest);
                    out = Targets.WriteLabelColumn(out,
                                                   static_cast<unsigned>(runAddress / 2) & 0xFFFFu);
                    out = WriteInstructionLine(out, result.text, result.ramPageNote);
                    out = std::copy(kLineEnd.begin(), kLineEnd.end(), out);
                    if (result.pageNote) {
                        char* const note = out;
                        out = WritePageNote(out, result.jumpTarget, chip_.RomPages);
                        if (out != note) {
                            out = std::copy(kLineEnd.begin(), kLineEnd.end(), out);
                        }
                        out = std::copy(kSeparatorLine.begin(), kSeparatorLine.end(), out);
                        out = std::copy(kLineEnd.begin(), kLineEnd.end(), out);
                    }
                    if (result.blankAfter) {
                        out = std::copy(kSeparatorLine.begin(), kSeparatorLine.end(), out);
                        out = std::copy(kLineEnd.begin(), kLineEnd.end(), out);
                    }
                    listing.Written(out);
                }
            }
            remainingBytes -= 2;
            position += 4;
            runAddress += 2;
        }
    }
    if (reader.Failed()) {
        listing.Discard();
        return IoFailure("Cannot read the input file", InputFileName, reader.Error());
    }
    return finish(kResultNoEof);
}

}  // namespace tolvek
