#include <gtest/gtest.h>

#include "FileErrors.h"
#include "FileSystem.h"
#include "TestSupport.h"

using namespace FileSystem;

TEST(SplitLines, LineEndsAsTheFormatDefinesThem) {
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\r\n", {"a"}},
        {"a\r\nb", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"a\n\rb", {"a", "", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"\n", {""}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {std::string("a\nb\0c\nd", 7), {"a", "b"}},
        {std::string("\0abc", 4), {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitLines(c.text), c.lines) << "text: " << c.text;
}

TEST(FileSystem, ExistenceTellsFilesFromFolders) {
    test::TempDir dir;
    test::WriteBytes(dir / "file.txt", "x");
    test::MakeDirs(dir / "folder");
    EXPECT_TRUE(FileExists(dir / "file.txt"));
    EXPECT_FALSE(FileExists(dir / "folder"));
    EXPECT_FALSE(FileExists(dir / "missing"));
    EXPECT_TRUE(DirectoryExists(dir / "folder"));
    EXPECT_FALSE(DirectoryExists(dir / "file.txt"));
    EXPECT_FALSE(DirectoryExists(dir / "missing"));
    // Only "no such file or path" says that a name is free.
    const std::pair<std::string, PathState> states[] = {
        {dir / "file.txt", PathState::Exists}, {dir / "folder", PathState::Exists},
        {dir / "missing", PathState::Missing}, {dir / "missing\\below", PathState::Missing},
        {dir / "a<b", PathState::Unknown},     {"\\\\tvn-no-such-server\\s\\x", PathState::Unknown},
    };
    for (const auto& [path, state] : states)
        EXPECT_EQ(StateOf(path), state) << path;
}

TEST(FileSystem, ForceDirectoriesCreatesParentsAndFailsOnMissingDrive) {
    test::TempDir dir;
    EXPECT_TRUE(ForceDirectories(dir / "a\\b\\c\\"));
    EXPECT_TRUE(test::IsDir(dir / "a\\b\\c"));
    EXPECT_TRUE(ForceDirectories(dir / "a\\b"));
    EXPECT_FALSE(ForceDirectories("q:\\nowhere\\x"));
    EXPECT_FALSE(ForceDirectories(""));
    test::WriteBytes(dir / "plain", "x");
    EXPECT_FALSE(ForceDirectories(dir / "plain\\sub"));
    // A single name would land in whatever the current folder is.
    test::ScopedCurrentFolder here(dir.path());
    ASSERT_TRUE(here.ok());
    EXPECT_FALSE(ForceDirectories("srv"));
    EXPECT_FALSE(test::IsDir(dir / "srv"));
}

TEST(FileSystem, ExpandFullPathRefusesWhatDoesNotFit) {
    EXPECT_EQ(ExpandFullPath(""), "");
    EXPECT_EQ(ExpandFullPath("c:\\a\\..\\b"), "c:\\b");
    std::string longPath = "c:\\" + std::string(300, 'x');
    EXPECT_EQ(ExpandFullPath(longPath), "");
    std::string edge = "c:\\" + std::string(256, 'y'); // 259 characters: fits
    EXPECT_EQ(ExpandFullPath(edge), edge);
    EXPECT_EQ(ExpandFullPath(edge + "z"), "");
}

TEST(FileSystem, ReadWholeFileRefusesAFileHeldForWriting) {
    test::TempDir dir;
    test::WriteBytes(dir / "data.txt", "abc");
    EXPECT_EQ(ReadWholeFile(dir / "data.txt", "n"), "abc");
    test::HeldFile held(dir / "data.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.ok());
    try {
        ReadWholeFile(dir / "data.txt", "shown name");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file shown name");
    }
}

TEST(Megabytes, TenthsOfTheTrueMegabyte) {
    const unsigned long long MiB = 1048576;
    struct Case {
        unsigned long long bytes;
        const char *nearest, *up, *down;
    } cases[] = {
        {0, "0.0", "0.0", "0.0"},
        {1, "0.0", "0.1", "0.0"},
        {10 * MiB, "10.0", "10.0", "10.0"},
        {10 * MiB - 1, "10.0", "10.0", "9.9"},
        {MiB / 4, "0.3", "0.3", "0.2"}, // a half rounds up
        {MiB / 4 - 1, "0.2", "0.3", "0.2"},
        {~0ull, "17592186044416.0", "17592186044416.0", "17592186044415.9"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Megabytes(c.bytes), c.nearest) << c.bytes;
        EXPECT_EQ(Megabytes(c.bytes, Rounding::Up), c.up) << c.bytes;
        EXPECT_EQ(Megabytes(c.bytes, Rounding::Down), c.down) << c.bytes;
    }
}

// One buffer read into again and again holds exactly each file's bytes,
// whether the file is longer or shorter than the one before.
TEST(FileSystem, ReadWholeFileIntoReusesOneBuffer) {
    test::TempDir dir;
    const std::string contents[] = {std::string(70000, 'a') + "end", "", "xy",
                                    std::string("nul\0inside", 10), std::string(300000, 'b')};
    std::string buffer = "left over";
    for (const std::string& bytes : contents) {
        test::WriteBytes(dir / "data.txt", bytes);
        ReadWholeFileInto(dir / "data.txt", "n", buffer);
        EXPECT_TRUE(buffer == bytes) << bytes.size() << " bytes, read " << buffer.size();
    }
}
