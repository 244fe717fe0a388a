// Lines as the reader splits them, against a plain reading of the rules: a
// line ends at CR, LF or CR LF, the last needs no end, and only its first
// `keep` characters are kept; wherever the lines fall against the reader's
// buffer and its 16-character blocks.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "base/LineReader.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

std::vector<std::string> PlainLines(std::string_view text, std::size_t keep) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        lines.emplace_back(text.substr(start, std::min(end - start, keep)));
        start = end + 1;
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
            ++start;
        }
    }
    return lines;
}

// Three ways of reading, over the same file: lines copied, lines as views,
// and lines peeked at by length first (a fixed-length record's way), where
// the length one more or one less than the line's must never be taken.
void ExpectLines(const std::string& text, std::size_t keep = 255) {
    static const testing::TempDir dir;
    dir.Write("lines.txt", text);
    const std::vector<std::string> expected = PlainLines(text, keep);
    for (const char* const way : {"copies", "views", "peeks"}) {
        std::FILE* file = std::fopen(dir.Path("lines.txt").c_str(), "rb");
        ASSERT_NE(file, nullptr);
        LineReader reader(file, keep);
        std::vector<std::string> lines;
        std::string line;
        std::string_view view;
        // each way leaves the line in view
        const auto next = [&] {
            if (way[0] == 'c') {
                const bool read = reader.ReadLine(line);
                view = line;
                return read;
            }
            if (way[0] == 'v') {
                return reader.ReadLine(view);
            }
            const std::size_t n =
                lines.size() < expected.size() ? expected[lines.size()].size() : 0;
            for (const std::size_t length : {n + 1, n > 0 ? n - 1 : n + 2, n}) {
                view = reader.PeekLine(length);
                if (!view.empty() && view.find_first_of("\r\n") == std::string_view::npos) {
                    reader.TakePeekedLine(length);
                    return true;
                }
            }
            return reader.ReadLine(view);
        };
        while (next()) {
            lines.emplace_back(view);
        }
        std::fclose(file);
        EXPECT_FALSE(reader.Failed());
        EXPECT_EQ(lines, expected) << way;
    }
}

TEST(LineReader, LineEndsWhereverTheyFall) {
    constexpr std::size_t kBuffer = 1 << 14;
    ExpectLines("a\rb\nc\r\nd\n\ne\r\r\nf");
    ExpectLines("a\r\rb\n\n");
    ExpectLines("");
    ExpectLines("abcdef\n", 3);
    ExpectLines(std::string(40, 'x') + "\r\n" + std::string(17, 'y'));
    // a CR LF pair split by the end of the buffer, and one just before it; a
    // CR as the input's very last character
    for (const std::size_t at : {kBuffer - 2, kBuffer - 1, kBuffer, 2 * kBuffer - 1}) {
        ExpectLines(std::string(at, 'x') + "\r\nnext\r\n" + std::string(at, 'z') + "\r\nlast");
        ExpectLines(std::string(at, 'x') + "\r");
    }
    // a last line without an end, read where the buffer still holds line ends
    // of the read before
    std::string ends;
    while (ends.size() < kBuffer) {
        ends += "x\n";
    }
    ExpectLines(ends + "tail");
    // lines longer than what is kept, and than the buffer
    ExpectLines(std::string(300, 'L') + "\n" + std::string(3 * kBuffer + 5, 'M') + "\rend", 255);
    ExpectLines(std::string(kBuffer + 9, 'N') + "\r\n", 40);
}

TEST(LineReader, RandomLinesAcrossManyBuffers) {
    std::mt19937 random(7);
    static const char* const kEnds[] = {"\n", "\r\n", "\r", "\n\r"};
    std::string text;
    while (text.size() < 100000) {
        text.append(random() % 60, static_cast<char>('a' + random() % 26));
        text += kEnds[random() % 4];
    }
    ExpectLines(text);
    ExpectLines(text, 20);
}

}  // namespace
}  // namespace tolvek
