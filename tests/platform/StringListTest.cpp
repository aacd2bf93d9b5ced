#include <gtest/gtest.h>

#include "FileErrors.h"
#include "StringList.h"
#include "TestSupport.h"

namespace {

TStringList ListOf(const std::vector<std::string>& items) {
    TStringList list;
    for (const std::string& item : items)
        list.Add(item);
    return list;
}

} // namespace

TEST(StringList, IndexOfFindsTheFirstEqualEntryByLocale) {
    TStringList list = ListOf({"alpha", "Beta", "\xC9t\xE9", "beta", "",
                               "Stra\xDF"
                               "e"});
    struct Case {
        const char* text;
        int index;
    } cases[] = {{"alpha", 0}, {"BETA", 1},    {"beta", 1},    {"\xE9T\xC9", 2}, {"Ete", -1},
                 {"", 4},      {"STRASSE", 5}, {"alpha ", -1}, {"gamma", -1}};
    for (const Case& c : cases)
        EXPECT_EQ(list.IndexOf(c.text), c.index) << c.text;
    EXPECT_EQ(TStringList().IndexOf(""), -1);
}

TEST(StringList, DeleteMovesLaterEntriesUp) {
    struct Case {
        int index;
        std::vector<std::string> left;
    } cases[] = {{0, {"b", "c"}},
                 {1, {"a", "c"}},
                 {2, {"a", "b"}},
                 {3, {"a", "b", "c"}},
                 {-1, {"a", "b", "c"}}};
    for (const Case& c : cases) {
        TStringList list = ListOf({"a", "b", "c"});
        list.Delete(c.index);
        EXPECT_EQ(list.Items(), c.left) << c.index;
    }
}

TEST(StringList, LoadFromFileReplacesTheContentWithTheLines) {
    struct Case {
        std::string bytes;
        std::vector<std::string> lines;
    } cases[] = {{"", {}},
                 {"one", {"one"}},
                 {"a\r\nb\r\n", {"a", "b"}},
                 {"a\rb\nc\n\rd", {"a", "b", "c", "", "d"}},
                 {"\r\n\r\nx", {"", "", "x"}}};
    test::TempDir dir;
    for (const Case& c : cases) {
        test::WriteBytes(dir / "2024-01.txt", c.bytes);
        TStringList list = ListOf({"old"});
        list.LoadFromFile(dir / "2024-01.txt");
        EXPECT_EQ(list.Items(), c.lines) << c.bytes;
    }
}

TEST(StringList, LoadFromFileReportsTheFileItCannotOpen) {
    test::TempDir dir;
    std::string missing = dir / "missing.txt";
    std::string held = dir / "held.txt";
    test::WriteBytes(held, "x");
    test::HeldFile writer(held, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(writer.ok());
    struct Case {
        std::string file;
        std::string errorName;
        std::string message;
    } cases[] = {{missing, "", "Cannot open file " + missing},
                 {held, "", "Cannot open file " + held},
                 {held, "shown name", "Cannot open file shown name"}};
    for (const Case& c : cases) {
        TStringList list = ListOf({"kept"});
        try {
            list.LoadFromFile(c.file, c.errorName);
            ADD_FAILURE() << "no error for " << c.file;
        } catch (const EFOpenError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(list.Items(), std::vector<std::string>{"kept"}) << c.file;
    }
}
