#include "run/Run.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <utility>

#include "base/Conversions.h"
#include "base/HexRecord.h"
#include "base/InputFile.h"
#include "base/LineReader.h"
#include "base/ListingFile.h"
#include "base/SlackCopy.h"
#include "decode/Decoder.h"
#include "run/Listing.h"

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

// The label column before each instruction, and the most that one word's
// lines take in the listing's buffer: label column, text and its slack, note
// and its slack, page note, separators and line ends.
constexpr std::size_t kLabelColumn = 12;
constexpr std::size_t kLongestLines = kLabelColumn + ListingDecoder::kTextRoom + kCommentColumn +
                                      kMaxText + 2 * kSlack + kMaxPageNote +
                                      2 * kSeparatorLine.size() + 4 * kLineEnd.size();

// Appends a text to a line being built in place.
char* Put(char* out, std::string_view text) {
    return std::copy(text.begin(), text.end(), out);
}

}  // namespace

// One pass over the input. The checking pass (0) checks every record, decodes
// every word and records the jump targets; it writes nothing. The building
// pass (1) writes the listing. Record by record, the pass reads a record, takes
// its words and decodes each, and writes its lines.
class Disassembler::Pass {
  public:
    Pass(Disassembler& run, int number, FrontEnd& frontEnd)
        : run_(run),
          chip_(run.chip_),
          frontEnd_(frontEnd),
          writing_(number == 1),
          decoder_(chip_.Naming(), {chip_.Core12Bit, chip_.Series12}) {}

    RunResult Go();

  private:
    // Reads the next line and checks it as a record; false at the end of the input.
    bool ReadRecord(LineReader& reader, RecordCheck& check);
    // True when a checked data record holds words of program memory (INHX32:
    // records beyond the first 64K bytes do not).
    bool HoldsProgramWords(const RecordCheck& check);
    // Takes, decodes and writes the record's words; a result code other than 0
    // ends the pass.
    int TakeWords(const RecordCheck& check);
    // The word text whose four characters start at position, into word: its
    // memo key (-1 for a word the memo does not keep); false when the
    // characters are not four hexadecimal digits.
    // (The steps of a word run in TakeWords' loop, as one piece of code.)
    [[gnu::always_inline]] inline bool TakeWord(std::size_t position, char (&word)[4], int& key,
                                                unsigned& value) const;
    // The checking pass's question of a word: is it an instruction, and does
    // a jump's target find room in the table?
    [[gnu::always_inline]] inline int CheckWord(unsigned value);
    // The same for the words of a full record with a bit in `ask` (see
    // ListingDecoder::WordsToCheck); the others are instructions that jump nowhere.
    int CheckWords(const HexRecordData& data, unsigned ask);
    // A word's work in either pass: checked, or decoded and written.
    [[gnu::always_inline]] inline int TakeWordOf(const char (&word)[4], int key, unsigned value);
    // The word text of the four record characters at position: the high byte's
    // digits first.
    [[gnu::always_inline]] inline void SwapDigits(std::size_t position, char (&word)[4]) const;
    // What a word gives the listing: remembered from earlier in the pass, or
    // decoded, its text built right where the line takes it (at).
    [[gnu::always_inline]] inline int DecodeWord(const char (&word)[4], int key, unsigned value,
                                                 DecodedWord& decoded, char* at);
    // The word's lines after its label column, from `text` on: instruction and
    // RAM-page note, the page note of a jump and the separators after it.
    // Returns their end.
    [[gnu::always_inline]] inline char* WriteLines(const DecodedWord& decoded, char* text);
    // The building pass's work on a full record whose words the memo does not
    // keep: each decoded and its lines written.
    int BuildWords(const HexRecordData& data, std::size_t position);
    void WriteOrgBlock(int byteAddress);
    // The checking pass's tally of the last line's checksum (when the run
    // checks them); wordsTaken: a data record whose words TakeWords took all
    // of, summing their bytes.
    void TallyChecksum(const RecordCheck& check, bool wordsTaken);
    RunResult Finish(int code);

    Disassembler& run_;
    ChipState& chip_;
    FrontEnd& frontEnd_;
    const bool writing_;
    ListingDecoder decoder_;
    ListingFile listing_;
    std::string_view line_;  // the last line read, until the next read
    bool lineRead_ = false;
    long lineIndex_ = -1;
    long runAddress_ = -1;
    bool highSegment_ = false;
    unsigned wordBytesSum_ = 0;  // of the record's words, in the checking pass
    // The last line read as a usual full record, whole and sound.
    bool fullRecord_ = false;
    FullRecord record_;
};

const std::vector<std::string>& Disassembler::Header() const {
    if (!headerSplit_) {
        headerLines_.clear();
        for (std::size_t start = 0; start < header_.size();) {
            const std::size_t end = header_.find(kLineEnd, start);
            headerLines_.emplace_back(header_, start, end - start);
            start = end + kLineEnd.size();
        }
        headerSplit_ = true;
    }
    return headerLines_;
}

std::string Disassembler::ListingFileName() const {
    return ListingPath.empty() ? ListingName(InputFileName) : ListingPath;
}

RunResult Disassembler::DissassembleData(int pass, FrontEnd& frontEnd) {
    if (pass != 0) {
        return Pass(*this, pass, frontEnd).Go();
    }
    targets_.Clear();
    Checksums = ChecksumReport{};
    RunResult result = Pass(*this, pass, frontEnd).Go();
    // after a fault the pass has not read the lines beyond it
    ChecksumsComplete =
        CheckChecksums && !result.io && (result.code == kResultOk || result.code == kResultNoEof);
    return result;
}

RunResult Disassembler::Run(FrontEnd& frontEnd) {
    frontEnd.SetProgress(0);
    ChecksumsComplete = false;  // the checking pass starts the tally afresh
    RunResult result;
    // moving the listing into place would destroy the input
    const auto isListing = [this](const std::string& name) {
        return ListingStream == nullptr && SameFile(name, ListingFileName());
    };
    if (isListing(InputFileName) ||
        std::any_of(SourceFileNames.begin(), SourceFileNames.end(), isListing)) {
        result.io = IoError("Cannot write the listing", ListingFileName(), "it is the input file");
    } else {
        frontEnd.SetStatus("Checking file data.");
        result = DissassembleData(0, frontEnd);
    }
    if (!result.io && result.code == kResultOk && RefuseBadChecksums && Checksums.count > 0) {
        result.checksumRefused = true;
    } else if (!result.io && result.code == kResultOk) {
        frontEnd.SetStatus("Building file.");
        frontEnd.SetProgressMax(instructionCount_);
        result = DissassembleData(1, frontEnd);
    }
    if (result.io) {
        result.outcome = Outcome{};
        result.outcome.code = -1;
        result.outcome.statusText = result.io.Message();
        result.outcome.statusRed = true;
        frontEnd.ShowOutcome(result.outcome);
        frontEnd.ShowIoError(result.io);
    } else {
        result.outcome =
            ProcessErrorMessage(result.code, result.outcome.lineNumber, result.outcome.line);
        frontEnd.ShowOutcome(result.outcome);
    }
    frontEnd.SetProgress(0);
    return result;
}

RunResult Disassembler::Pass::Go() {
    run_.instructionCount_ = 0;
    frontEnd_.SetBusyCursor(true);
    struct CursorRestore {
        FrontEnd& frontEnd;
        ~CursorRestore() { frontEnd.SetBusyCursor(false); }
    } cursorRestore{frontEnd_};

    IoError openError;
    FilePtr input(OpenInputFile(run_.InputFileName, "Cannot open the input file", openError));
    if (!input) {
        return IoFailure(openError);
    }
    LineReader reader(input.get());
    if (writing_) {
        if (run_.ListingStream != nullptr) {
            listing_.OpenStream(run_.ListingStream);
        } else if (!listing_.Open(run_.ListingFileName())) {
            return IoFailure(listing_.Error());
        }
        run_.header_.clear();
        run_.headerSplit_ = false;
        if (frontEnd_.keepsHeader) {
            chip_.AppendHeader(run_.header_, kLineEnd);
            char* const out = listing_.Reserve(run_.header_.size());
            listing_.Written(std::copy(run_.header_.begin(), run_.header_.end(), out));
        } else {
            chip_.WriteHeaderTo(listing_);
        }
    }
    run_.memo_.NewPass();

    RecordCheck check;
    while (ReadRecord(reader, check)) {
        if (check.kind == RecordCheck::kFault) {
            return Finish(check.code);
        }
        if (check.kind == RecordCheck::kEndOfFile) {
            TallyChecksum(check, false);
            if (writing_) {
                listing_.WriteLine(kSeparatorLine);
                listing_.WriteLine(kEndLine);
                listing_.WriteLine(kSeparatorLine);
            }
            return Finish(kResultOk);
        }
        if (!HoldsProgramWords(check)) {
            TallyChecksum(check, false);
            continue;
        }
        const int code = TakeWords(check);
        if (code != kResultOk) {
            return Finish(code);
        }
        TallyChecksum(check, true);
    }
    if (reader.Failed()) {
        listing_.Discard();
        return IoFailure(
            IoError::FromErrno("Cannot read the input file", run_.InputFileName, reader.Error()));
    }
    return Finish(kResultNoEof);
}

bool Disassembler::Pass::ReadRecord(LineReader& reader, RecordCheck& check) {
    // the usual record, whole and sound, passes every check of CheckRecordLine;
    // its characters are all digits after the colon, so it is read where it
    // lies before its line end is looked for
    const auto full = [this](std::string_view line) {
        return line.size() == kMaxRecordLine && ReadFullRecord(line.data(), record_) &&
               record_.address < static_cast<unsigned>(kFirstSkippedAddress);
    };
    const std::string_view peeked = reader.PeekLine(kMaxRecordLine);
    if (!peeked.empty() && full(peeked)) {
        reader.TakePeekedLine(kMaxRecordLine);
        line_ = peeked;
        fullRecord_ = true;
    } else if (reader.ReadLine(line_)) {
        // a line the peek showed is the same line, already found not to be one
        fullRecord_ = peeked.empty() && full(line_);
    } else {
        return false;
    }
    ++lineIndex_;
    lineRead_ = true;
    check = fullRecord_ ? RecordCheck{RecordCheck::kData, kResultOk, 16,
                                      static_cast<int>(record_.address), 0}
                        : CheckRecordLine(line_, run_.AcceptExtendedAddress);
    return true;
}

bool Disassembler::Pass::HoldsProgramWords(const RecordCheck& check) {
    if (check.kind == RecordCheck::kSkip) {
        return false;
    }
    if (check.type == 4) {
        highSegment_ = ExtractAddressBytes(line_[9], line_[10], line_[11], line_[12]) != 0;
        return false;
    }
    return !highSegment_;
}

int Disassembler::Pass::TakeWords(const RecordCheck& check) {
    if (writing_ && check.address != runAddress_) {
        WriteOrgBlock(check.address);
    }
    std::size_t position = 9;
    // a full record, nearly every record of a file, has its digits read at once
    HexRecordData read;
    if (fullRecord_ ||
        (check.byteCount == 16 && ReadHexRecordData(line_.data() + position, read))) {
        const HexRecordData& data = fullRecord_ ? record_.data : read;
        wordBytesSum_ = data.byteSum;
        if (!writing_) {
            return CheckWords(data, decoder_.WordsToCheck(data.words));
        }
        if (run_.instructionCount_ + 8 <= WordMemo::kWordsFirst) {
            return BuildWords(data, position);
        }
        for (unsigned index = 0; index < 8; ++index, position += 4) {
            char word[4];
            SwapDigits(position, word);
            const unsigned value = data.words[index];
            // a record with lower-case letters is not remembered (see WordMemo::Key)
            const bool keyed = !data.lowerCase && value < WordMemo::kKeys;
            const int code = TakeWordOf(word, keyed ? static_cast<int>(value) : -1, value);
            if (code != kResultOk) {
                return code;
            }
        }
        return kResultOk;
    }
    wordBytesSum_ = 0;
    for (int remainingBytes = check.byteCount; remainingBytes != 0;
         remainingBytes -= 2, position += 4) {
        char word[4];
        int key = -1;
        unsigned value = 0;
        if (!TakeWord(position, word, key, value)) {
            return kResultCodeData;
        }
        const int code = TakeWordOf(word, key, value);
        if (code != kResultOk) {
            return code;
        }
        wordBytesSum_ += (value >> 8) + (value & 0xFFu);
    }
    return kResultOk;
}

int Disassembler::Pass::BuildWords(const HexRecordData& data, std::size_t position) {
    // the state of the loop in locals: the lines' characters are stored
    // through pointers that could change any member
    long address = runAddress_;
    int count = run_.instructionCount_;
    const bool progress = frontEnd_.showsProgress;
    int code = kResultOk;
    char* line = listing_.Reserve(kLongestLines);
    const char* bufferEnd = listing_.BufferEnd();
    for (unsigned index = 0; index < 8; ++index, position += 4) {
        if (static_cast<std::size_t>(bufferEnd - line) < kLongestLines) {
            listing_.Written(line);
            line = listing_.Reserve(kLongestLines);
            bufferEnd = listing_.BufferEnd();
        }
        char word[4];
        SwapDigits(position, word);
        // (the lambda's attribute in GNU form: the standard one would name its type)
        const bool instruction = decoder_.Place(
            std::string_view(word, 4), data.words[index],
            line + kLabelColumn, [&](const DecodedWord& decoded) __attribute__((always_inline)) {
                if (decoded.skipLine) {
                    return;
                }
                run_.targets_.WriteLabelColumn(line, static_cast<unsigned>(address / 2) & 0xFFFFu);
                line = WriteLines(decoded, line + kLabelColumn);
            });
        if (!instruction) {
            code = kResultNoInstruction;
            break;
        }
        ++count;
        if (progress) {
            frontEnd_.SetProgress(count);
        }
        address += 2;
    }
    listing_.Written(line);
    run_.instructionCount_ = count;
    runAddress_ = address;
    return code;
}

int Disassembler::Pass::TakeWordOf(const char (&word)[4], int key, unsigned value) {
    if (writing_) {
        // the lines are built in place in the listing's buffer, the text
        // right where it goes, after the label column
        char* const line = listing_.Reserve(kLongestLines);
        DecodedWord decoded;
        const int code = DecodeWord(word, key, value, decoded, line + kLabelColumn);
        if (code != kResultOk) {
            return code;
        }
        ++run_.instructionCount_;
        if (frontEnd_.showsProgress) {
            frontEnd_.SetProgress(run_.instructionCount_);
        }
        if (!decoded.skipLine) {
            run_.targets_.WriteLabelColumn(line, static_cast<unsigned>(runAddress_ / 2) & 0xFFFFu);
            listing_.Written(WriteLines(decoded, line + kLabelColumn));
        }
    } else {
        const int code = CheckWord(value);
        if (code != kResultOk) {
            return code;
        }
        ++run_.instructionCount_;
    }
    runAddress_ += 2;
    return kResultOk;
}

void Disassembler::Pass::SwapDigits(std::size_t position, char (&word)[4]) const {
    // the high byte's digits first: swap the two halves in one store, so
    // that the decoder's wider reads of the word are forwarded
    std::uint32_t digits = 0;
    std::memcpy(&digits, line_.data() + position, 4);
    digits = (digits >> 16) | (digits << 16);
    std::memcpy(word, &digits, 4);
}

bool Disassembler::Pass::TakeWord(std::size_t position, char (&word)[4], int& key,
                                  unsigned& value) const {
    // a word of four digits or upper-case letters is read and keyed in one go;
    // any other goes through the full digit checks
    key = -1;
    if (position + 4 <= line_.size()) {
        SwapDigits(position, word);
        key = WordMemo::Key(word);
    }
    if (key >= 0) {
        value = static_cast<unsigned>(key);
        return true;
    }
    if (!ExtractCodeData(line_, position, word)) {
        return false;
    }
    value = static_cast<unsigned>(ASCIIToDec(word[0]) << 12 | ASCIIToDec(word[1]) << 8 |
                                  ASCIIToDec(word[2]) << 4 | ASCIIToDec(word[3]));
    return true;
}

int Disassembler::Pass::CheckWords(const HexRecordData& data, unsigned ask) {
    // in the words' order, so that a fault is met where the word by word check meets it
    for (; ask != 0; ask &= ask - 1) {
        const auto index = static_cast<unsigned>(std::countr_zero(ask));
        const int code = CheckWord(data.words[index]);
        if (code != kResultOk) {
            // as the word by word check leaves them
            run_.instructionCount_ += static_cast<int>(index);
            runAddress_ += 2 * index;
            return code;
        }
    }
    run_.instructionCount_ += 8;
    runAddress_ += 16;
    return kResultOk;
}

int Disassembler::Pass::CheckWord(unsigned value) {
    const ListingDecoder::Check check = decoder_.CheckWord(value);
    if (!check.instruction) {
        return kResultNoInstruction;
    }
    // every GOTO and CALL reaches the target table
    if (check.jumpTarget >= 0 && !run_.targets_.TestForDup(static_cast<unsigned>(check.jumpTarget),
                                                           check.jumpTarget, chip_.RomPages)) {
        return kResultTooManyTargets;
    }
    return kResultOk;
}

int Disassembler::Pass::DecodeWord(const char (&word)[4], int key, unsigned value,
                                   DecodedWord& decoded, char* at) {
    // Past its first WordMemo::kWordsFirst words the pass remembers what each
    // word gave and does not decode it again.
    WordMemo& memo = run_.memo_;
    const bool memoized = key >= 0 && run_.instructionCount_ >= WordMemo::kWordsFirst;
    if (memoized && memo.Find(key, decoded)) {
        return kResultOk;
    }
    decoder_.Decode(std::string_view(word, 4), value, decoded, at);
    if (!decoded.IsInstruction()) {
        return kResultNoInstruction;
    }
    if (memoized) {
        memo.Store(key, decoded);
    }
    return kResultOk;
}

char* Disassembler::Pass::WriteLines(const DecodedWord& decoded, char* const text) {
    char* out = text;
    // a remembered word's text is not in place yet
    if (decoded.text.data() != out) {
        CopyWithSlack(out, decoded.text.data(), decoded.text.size());
    }
    if (decoded.ramPageNote.empty()) {
        out += decoded.text.size();
    } else {
        // the note starts in the comment column; a longer text is cut there
        static constexpr char kBlanks[2 * kSlack + 1] = "                                ";
        static_assert(kCommentColumn <= 2 * kSlack);
        std::memcpy(out + std::min(decoded.text.size(), kCommentColumn), kBlanks, 2 * kSlack);
        out = CopyWithSlack(out + kCommentColumn, decoded.ramPageNote.data(),
                            decoded.ramPageNote.size());
    }
    out = Put(out, kLineEnd);
    if (decoded.pageNote) {
        char* const note = out;
        out = WritePageNote(out, decoded.jumpTarget, chip_.RomPages);
        if (out != note) {
            out = Put(out, kLineEnd);
        }
        out = Put(Put(out, kSeparatorLine), kLineEnd);
    }
    if (decoded.blankAfter) {
        out = Put(Put(out, kSeparatorLine), kLineEnd);
    }
    return out;
}

void Disassembler::Pass::TallyChecksum(const RecordCheck& check, bool wordsTaken) {
    if (writing_ || !run_.CheckChecksums) {
        return;
    }
    if (wordsTaken && fullRecord_ && record_.checksumOk) {
        return;
    }
    // a record whose words were all taken: its bytes are known, and most
    // records are right
    const auto size = static_cast<std::size_t>(check.byteCount) * 2 + 11;
    if (wordsTaken && line_.size() == size) {
        const auto address = static_cast<unsigned>(check.address);
        const int found = ExtractLineBytes(line_[size - 2], line_[size - 1]);
        const unsigned sum = wordBytesSum_ + static_cast<unsigned>(check.byteCount) +
                             (address >> 8) + (address & 0xFFu) + static_cast<unsigned>(found);
        if (found >= 0 && (sum & 0xFFu) == 0) {
            return;
        }
    }
    tolvek::TallyChecksum(line_, lineIndex_, run_.Checksums);
}

void Disassembler::Pass::WriteOrgBlock(int byteAddress) {
    listing_.WriteLine(kSeparatorLine);
    listing_.WriteLine(OrgLine(byteAddress));
    listing_.WriteLine(kSeparatorLine);
    runAddress_ = byteAddress;
}

RunResult Disassembler::Pass::Finish(int code) {
    RunResult result;
    result.code = code;
    if (code != kResultOk) {
        result.outcome.line = lineRead_ ? std::string(line_) : std::string();
        result.outcome.lineNumber = "LineNumber  " + std::to_string(lineIndex_);
        listing_.Discard();
    } else if (writing_) {
        result.outcome.lineNumber = std::to_string(lineIndex_);
        if (!listing_.Commit()) {
            result.io = listing_.Error();
        }
    }
    return result;
}

}  // namespace tolvek
