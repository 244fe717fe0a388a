// Line ends as the reader promises them, also where its buffer cuts the input.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/LineReader.h"

namespace tolvek {
namespace {

std::vector<std::string> Lines(const std::string& bytes, std::size_t keep = 255) {
    std::FILE* file = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    LineReader reader(file, keep);
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line)) {
        lines.push_back(line);
    }
    EXPECT_FALSE(reader.Failed());
    std::fclose(file);
    return lines;
}

TEST(LineReader, LineEnds) {
    EXPECT_EQ(Lines("a\rb\nc\r\nd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(Lines("a\r\rb\n\n"), (std::vector<std::string>{"a", "", "b", ""}));
    EXPECT_EQ(Lines(""), std::vector<std::string>{});
    EXPECT_EQ(Lines("abcdef\n", 3), std::vector<std::string>{"abc"});
}

// The reader fills a buffer of 64K bytes at a time: a CR as its last byte and
// the LF as the first of the next fill are still one line end.
TEST(LineReader, CrLfAcrossTheBuffer) {
    constexpr std::size_t kBuffer = 1 << 16;
    for (const std::size_t before : {kBuffer - 1, kBuffer - 2, kBuffer, 2 * kBuffer - 1}) {
        SCOPED_TRACE(before);
        const std::string first(before, 'x');
        const std::vector<std::string> lines = Lines(first + "\r\n" + "next\r\n" + "last");
        ASSERT_EQ(lines.size(), 3u);
        EXPECT_EQ(lines[0], first.substr(0, 255));
        EXPECT_EQ(lines[1], "next");
        EXPECT_EQ(lines[2], "last");
    }
    // a CR at the very end of the input ends the last line
    EXPECT_EQ(Lines(std::string(kBuffer - 1, 'x') + "\r").size(), 1u);
}

}  // namespace
}  // namespace tolvek
