#include "run/Run.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>

#include "base/Conversions.h"
#include "base/InputFile.h"
#include "base/LineReader.h"
#include "base/ListingFile.h"
#include "run/Listing.h"
#include "run/Record.h"
#include "run/WordMemo.h"

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

RunResult IoFailure(IoError error) {
    RunResult result;
    result.io = std::move(error);
    return result;
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
    if (ListingStream == nullptr && SameFile(InputFileName, ListingFileName())) {
        // moving the listing into place would destroy the input
        result.io = IoError("Cannot write the listing", ListingFileName(), "it is the input file");
    } else {
        frontEnd.SetStatus("Checking file data.");
        result = DissassembleData(0, frontEnd);
    }
    if (!result.io && result.code == kResultOk) {
        frontEnd.SetStatus("Building file.");
        frontEnd.SetProgressMax(InstructionCount);
        result = DissassembleData(1, frontEnd);
    }
    if (result.io) {
        Outcome outcome;
        outcome.statusText = result.io.Message();
        outcome.statusRed = true;
        outcome.code = -1;
        frontEnd.ShowOutcome(outcome);
        frontEnd.ShowIoError(result.io);
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

    IoError openError;
    FilePtr input(OpenInputFile(InputFileName, "Cannot open the input file", openError));
    if (!input) {
        return IoFailure(openError);
    }
    LineReader reader(input.get());

    ListingFile listing;
    if (pass == 1) {
        if (ListingStream != nullptr) {
            listing.OpenStream(ListingStream);
        } else if (!listing.Open(ListingFileName())) {
            return IoFailure(listing.Error());
        }
        HeadMemo = chip_.ProduceHeader();
        for (const std::string& line : HeadMemo) {
            listing.WriteLine(line);
        }
    }

    // the checking pass writes nothing, so it leaves operands unnamed
    ListingDecoder decoder(chip_.Naming(), {chip_.Core12Bit, chip_.Series12, pass == 1});
    memo_.NewPass();
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
                result.io = listing.Error();
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
            DecodedWord result;
            const bool memoized =
                key >= 0 && (pass == 0 || InstructionCount >= WordMemo::kWordsFirst);
            bool known = false;
            if (memoized) {
                known = pass == 0 ? memo_.Accepted(key) : memo_.Find(key, result);
            }
            if (!known) {
                result = decoder.Decode(std::string_view(word, 4));
                if (!result.IsInstruction()) {
                    return finish(kResultNoInstruction);
                }
                // the checking pass records every GOTO and CALL target
                if (pass == 0 && result.pageNote &&
                    !Targets.TestForDup(static_cast<unsigned>(result.jumpTarget), result.jumpTarget,
                                        chip_.RomPages)) {
                    return finish(kResultTooManyTargets);
                }
                if (memoized) {
                    if (pass == 1) {
                        memo_.Store(key, result);
                    } else if (!result.pageNote) {
                        memo_.Accept(key);  // a GOTO or CALL must reach the table each time
                    }
                }
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
        return IoFailure(
            IoError::FromErrno("Cannot read the input file", InputFileName, reader.Error()));
    }
    return finish(kResultNoEof);
}

}  // namespace tolvek
