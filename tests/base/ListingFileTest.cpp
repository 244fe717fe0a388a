// A listing named after a device or a pipe is written into it, never moved over
// it; a replaced listing keeps its mode.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/ListingFile.h"
#include "tests/TempDir.h"

namespace tolvek {
namespace {

TEST(ListingFile, WritesIntoAPipeAndLeavesItAPipe) {
    char pattern[] = "/tmp/tolvek-fifo-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string fifo = dir + "/listing.dis";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // held open for reading and writing, so the listing's open does not wait and
    // what it writes stays in the pipe's buffer
    const int reader = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(reader, 0);

    ListingFile listing;
    ASSERT_TRUE(listing.Open(fifo)) << listing.Error().Message();
    listing.WriteLine("            ORG 0000h");
    listing.WriteLine("            end");
    EXPECT_TRUE(listing.Commit()) << listing.Error().Message();

    std::string received(256, '\0');
    const ssize_t got = read(reader, received.data(), received.size());
    received.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    EXPECT_EQ(received, "            ORG 0000h\r\n            end\r\n");
    struct stat after {};
    ASSERT_EQ(stat(fifo.c_str(), &after), 0);
    EXPECT_TRUE(S_ISFIFO(after.st_mode));
    close(reader);
    std::remove(fifo.c_str());
    rmdir(dir.c_str());
}

// A listing written again keeps the mode the user gave it; a new one gets the
// usual mode for new files.
TEST(ListingFile, AReplacedListingKeepsItsMode) {
    testing::TempDir dir;
    const std::string path = dir.Path("p.dis");
    dir.Write("p.dis", "old\r\n");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ListingFile listing;
    ASSERT_TRUE(listing.Open(path)) << listing.Error().Message();
    listing.WriteLine("new");
    ASSERT_TRUE(listing.Commit()) << listing.Error().Message();
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Read("p.dis"), "new\r\n");

    const mode_t mask = umask(027);
    ListingFile fresh;
    ASSERT_TRUE(fresh.Open(dir.Path("q.dis")));
    ASSERT_TRUE(fresh.Commit());
    umask(mask);
    ASSERT_EQ(stat(dir.Path("q.dis").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

}  // namespace
}  // namespace tolvek
