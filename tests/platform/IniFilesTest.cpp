#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <memory>

#include "DiskChanges.h"
#include "IniFiles.h"
#include "TestSupport.h"

using namespace std::string_literals;

namespace {

const char* const NoValue = "<none>";

// Loads bytes from a real file and writes the store straight back.
std::string Rewritten(const test::TempDir& dir, const std::string& bytes) {
    std::string name = dir / "tvn.ini";
    test::WriteBytes(name, bytes);
    TMemIniFile(name).UpdateFile();
    return test::ReadBytes(name);
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EFileError& e) {
        return e.what();
    }
    return "no error";
}

// Restores the process's current folder when it goes.
class ScopedCurrentFolder {
  public:
    explicit ScopedCurrentFolder(const std::string& folder) {
        char buffer[MAX_PATH];
        DWORD n = GetCurrentDirectoryA(MAX_PATH, buffer);
        old_.assign(buffer, n < MAX_PATH ? n : 0);
        SetCurrentDirectoryA(folder.c_str());
    }
    ~ScopedCurrentFolder() { SetCurrentDirectoryA(old_.c_str()); }

  private:
    std::string old_;
};

} // namespace

TEST(IniStore, WritesBackTheCanonicalForm) {
    struct Case {
        const char* what;
        std::string file;
        std::string written;
    } cases[] = {
        {"empty file", "", ""},
        {"one key", "[Setup]\r\nRedirect=x", "[Setup]\r\nRedirect=x\r\n\r\n"},
        {"comments, empty lines, lines before the first header",
         "before\r\n;c\r\n\r\n[Setup]\r\n;comment\r\n\r\nRedirect=x\r\n\r\n",
         "[Setup]\r\nRedirect=x\r\n\r\n"},
        {"line ends CR, LF, LF CR", "[A]\na=1\rb=2\n\rc=3", "[A]\r\na=1\r\nb=2\r\nc=3\r\n\r\n"},
        {"blanks around brackets are ordinary lines", "[A]\r\n [B]\r\n[C] \r\n[ D ]\r\nd=4\r\n",
         "[A]\r\n [B]\r\n[C] \r\n\r\n[ D ]\r\nd=4\r\n\r\n"},
        {"header-like lines with no section before them", " [B]\r\n[\r\n]\r\n[A]\r\n[\r\n",
         "[A]\r\n[\r\n\r\n"},
        {"empty section name", "[]\r\nk=v\r\n", "[]\r\nk=v\r\n\r\n"},
        {"lines of blanks and late semicolons stay", "[A]\r\n   \r\n\t\r\n ;x\r\n",
         "[A]\r\n   \r\n\t\r\n ;x\r\n\r\n"},
        {"duplicate sections keep their places", "[S]\na=1\n[T]\n[s]\na=2\n",
         "[S]\r\na=1\r\n\r\n[T]\r\n\r\n[s]\r\na=2\r\n\r\n"},
        {"a byte-order mark is kept in front of the first header",
         "\xEF\xBB\xBF[A]\r\na=1\r\n[B]\r\nb=2\r\n",
         "\xEF\xBB\xBF[A]\r\na=1\r\n\r\n[B]\r\nb=2\r\n\r\n"},
        {"a byte-order mark alone", "\xEF\xBB\xBF", "\xEF\xBB\xBF"}};
    for (const Case& c : cases) {
        test::TempDir dir;
        std::string once = Rewritten(dir, c.file);
        EXPECT_EQ(once, c.written) << c.what;
        EXPECT_EQ(Rewritten(dir, once), once) << c.what << " (second round)";
        EXPECT_EQ(test::ListDir(dir.path()), std::vector<std::string>{"tvn.ini"}) << c.what;
    }
}

TEST(IniStore, LookupsTakeTheFirstMatchIgnoringCaseByLocale) {
    test::TempDir dir;
    test::WriteBytes(dir / "tvn.ini", "[Setup]\r\n"
                                      "redirect=c:\\data\r\n"
                                      "Redirect = spaced\r\n"
                                      "a=b=c\r\n"
                                      "plain line\r\n"
                                      "=empty name\r\n"
                                      "dup=first\r\n"
                                      "dup=second\r\n"
                                      "Stra\xDF"
                                      "e=sharp s\r\n"
                                      "[ Setup ]\r\n"
                                      "inner=1\r\n"
                                      "[Setup ]\r\n"
                                      "trailing=1\r\n"
                                      "[]\r\n"
                                      "e=empty section\r\n"
                                      "[SETUP]\r\n"
                                      "second=yes\r\n"
                                      "[\xC9t\xE9]\r\n"
                                      "k=accented\r\n");
    TMemIniFile store(dir / "tvn.ini");
    struct Case {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {{"Setup", "Redirect", "c:\\data"}, {"setup", "REDIRECT", "c:\\data"},
                 {"Setup", "Redirect ", " spaced"}, {"Setup", "a", "b=c"},
                 {"Setup", "dup", "first"},         {"Setup", "plain line", NoValue},
                 {"Setup", "", "empty name"},       {"Setup", "STRASSE", "sharp s"},
                 {"Setup", "second", NoValue},      {"Setup", "inner", NoValue},
                 {" Setup ", "inner", "1"},         {"Setup ", "trailing", "1"},
                 {"", "e", "empty section"},        {"\xE9T\xC9", "K", "accented"},
                 {"Missing", "a", NoValue},         {"Setup", "missing", NoValue}};
    for (const Case& c : cases)
        EXPECT_EQ(store.ReadString(c.section, c.key, NoValue), c.value)
            << "[" << c.section << "] " << c.key;
}

TEST(IniStore, ChangesAffectTheFirstMatchOnly) {
    struct Case {
        const char* what;
        std::string file;
        std::function<void(TMemIniFile&)> change;
        std::string written;
        const char* readKey; // in section "S" after the change; nullptr: none
        const char* readValue;
    } cases[] = {
        {"WriteString replaces the key line and its capitals", "[Setup]\r\nredirect=c:\\old\r\nx=1",
         [](TMemIniFile& s) { s.WriteString("SETUP", "Redirect", "d:\\new"); },
         "[Setup]\r\nRedirect=d:\\new\r\nx=1\r\n\r\n", nullptr, nullptr},
        {"WriteString appends beside a name with blanks", "[Setup]\r\nRedirect = a\r\n",
         [](TMemIniFile& s) { s.WriteString("Setup", "Redirect", "b"); },
         "[Setup]\r\nRedirect = a\r\nRedirect=b\r\n\r\n", nullptr, nullptr},
        {"WriteString appends a new section at the end", "[A]\r\na=1\r\n",
         [](TMemIniFile& s) { s.WriteString("New S", "k", "v=w"); },
         "[A]\r\na=1\r\n\r\n[New S]\r\nk=v=w\r\n\r\n", nullptr, nullptr},
        {"WriteString into the first of two sections", "[S]\r\na=1\r\n[S]\r\nb=2\r\n",
         [](TMemIniFile& s) { s.WriteString("s", "b", "3"); },
         "[S]\r\na=1\r\nb=3\r\n\r\n[S]\r\nb=2\r\n\r\n", "b", "3"},
        {"WriteString with an empty section name", "",
         [](TMemIniFile& s) { s.WriteString("", "k", ""); }, "[]\r\nk=\r\n\r\n", nullptr, nullptr},
        {"DeleteKey removes the first line only", "[S]\r\nk=1\r\nK=2\r\n",
         [](TMemIniFile& s) { s.DeleteKey("s", "K"); }, "[S]\r\nK=2\r\n\r\n", "k", "2"},
        {"DeleteKey keeps the emptied section", "[S]\r\nk=1\r\n",
         [](TMemIniFile& s) { s.DeleteKey("S", "k"); }, "[S]\r\n\r\n", "k", NoValue},
        {"DeleteKey of a missing key or section", "[S]\r\nk=1\r\n",
         [](TMemIniFile& s) {
             s.DeleteKey("S", "x");
             s.DeleteKey("T", "k");
         },
         "[S]\r\nk=1\r\n\r\n", "k", "1"},
        {"EraseSection removes the first section only", "[S]\r\na=1\r\n[T]\r\n[s]\r\na=2\r\n",
         [](TMemIniFile& s) { s.EraseSection("S"); }, "[T]\r\n\r\n[s]\r\na=2\r\n\r\n", "a", "2"},
        {"EraseSection of a missing section", "[S]\r\na=1\r\n",
         [](TMemIniFile& s) { s.EraseSection("S "); }, "[S]\r\na=1\r\n\r\n", "a", "1"},
        {"WriteInteger writes plain decimals", "",
         [](TMemIniFile& s) {
             s.WriteInteger("S", "n", -5);
             s.WriteInteger("S", "m", INT_MIN);
         },
         "[S]\r\nn=-5\r\nm=-2147483648\r\n\r\n", "n", "-5"}};
    for (const Case& c : cases) {
        test::TempDir dir;
        std::string name = dir / "tvn.ini";
        test::WriteBytes(name, c.file);
        TMemIniFile store(name);
        c.change(store);
        store.UpdateFile();
        EXPECT_EQ(test::ReadBytes(name), c.written) << c.what;
        if (c.readKey) {
            EXPECT_EQ(store.ReadString("S", c.readKey, NoValue), c.readValue) << c.what;
        }
    }
}

TEST(IniStore, ReadIntegerAcceptsOnlyWholeNumbers) {
    const int Default = 99;
    struct Case {
        const char* text;
        int value;
    } accepted[] = {{" 42", 42},
                    {"$1F", 31},
                    {"0x1F", 31},
                    {"0X1F", 31},
                    {"x1F", 31},
                    {"X1f", 31},
                    {" 0x1F", 31},
                    {"+7", 7},
                    {"-2147483648", INT_MIN},
                    {"2147483647", INT_MAX},
                    {"$FFFFFFFF", -1},
                    {"$80000000", INT_MIN},
                    {"$000000001", 1},
                    {"-0", 0},
                    {"007", 7},
                    {"  -5", -5}};
    const char* refused[] = {
        "42 ", "",  "-0x1F", "+$1F", "2147483648", "-2147483649", "99999999999999999999", "1e3",
        "0x",  "$", "+",     "- 5",  "\t5",        "$-1",         "$123456789",           "$1G"};
    test::TempDir dir;
    TMemIniFile store(dir / "missing.ini");
    for (const Case& c : accepted) {
        store.WriteString("S", "n", c.text);
        EXPECT_EQ(store.ReadInteger("S", "n", Default), c.value) << "text: '" << c.text << "'";
    }
    for (const char* text : refused) {
        store.WriteString("S", "n", text);
        EXPECT_EQ(store.ReadInteger("S", "n", Default), Default) << "text: '" << text << "'";
    }
    EXPECT_EQ(store.ReadInteger("S", "absent", Default), Default);
}

TEST(IniStore, ReadSectionValuesCopiesEveryLineOfTheFirstSection) {
    test::TempDir dir;
    test::WriteBytes(dir / "tvn.ini",
                     "[S]\r\njust text\r\n[T]\r\na=1\r\n b\r\nc=\r\n[T]\r\nx=2\r\n");
    TMemIniFile store(dir / "tvn.ini");
    struct Case {
        const char* section;
        std::vector<std::string> lines;
    } cases[] = {{"S", {"just text"}}, {"t", {"a=1", " b", "c="}}, {"Missing", {}}};
    for (const Case& c : cases) {
        TStringList list;
        list.Add("stale");
        store.ReadSectionValues(c.section, list);
        EXPECT_EQ(list.Items(), c.lines) << c.section;
    }
}

TEST(IniStore, LoadingShareModesAndEmptyStores) {
    test::TempDir dir;
    test::MakeDirs(dir / "folder.ini");
    for (std::string name : {dir / "missing.ini", dir / "folder.ini", std::string()}) {
        TMemIniFile store(name);
        EXPECT_EQ(store.CanonicalText(), "") << name;
        EXPECT_EQ(store.ReadString("S", "k", NoValue), NoValue) << name;
    }
    EXPECT_EQ(MessageOf([] { TMemIniFile("").UpdateFile(); }), "Cannot create file ");
    TMemIniFile(dir / "missing.ini").UpdateFile();
    EXPECT_EQ(test::ReadBytes(dir / "missing.ini"), "");

    std::string name = dir / "tvn.ini";
    test::WriteBytes(name, "[S]\r\nk=v\r\n");
    struct Case {
        DWORD access;
        DWORD share;
        bool loads;
    } cases[] = {{GENERIC_READ, FILE_SHARE_READ, true},
                 {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
                 {GENERIC_READ, 0, false},
                 {GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, false}};
    for (const Case& c : cases) {
        test::HeldFile held(name, c.access, c.share);
        ASSERT_TRUE(held.ok());
        std::string message = MessageOf([&] {
            TMemIniFile store(name);
            EXPECT_EQ(store.ReadString("S", "k", NoValue), "v");
        });
        EXPECT_EQ(message, c.loads ? "no error" : "Cannot open file " + name)
            << c.access << "/" << c.share;
    }
}

// A byte 0 marks a file that is not settings text (UTF-16, binary): the store
// will not take it, so it can never write back a shortened copy.
TEST(IniStore, RefusesFilesHoldingAZeroByte) {
    test::TempDir dir;
    const std::string name = dir / "tvn.ini";
    for (std::string bytes :
         {"[Setup]\r\nRedirect=x\r\n\0tail\r\n"s, "\xFF\xFE[\0S\0]\0"s, "\0"s}) {
        test::WriteBytes(name, bytes);
        EXPECT_EQ(MessageOf([&] { TMemIniFile store(name); }), "Cannot open file " + name);
        EXPECT_EQ(test::ReadBytes(name), bytes);
    }
}

TEST(IniStore, UpdateFileRefusesAndLeavesTheOldFileWhole) {
    const std::string oldBytes = "; keep me\r\n[Setup]\r\nRedirect=old";
    // Each obstacle stands while the first UpdateFile runs and is gone, by
    // the release of what it returns, before the second one.
    using Obstacle = std::function<std::shared_ptr<void>(const std::string& target)>;
    auto held = [](DWORD access, DWORD share) -> Obstacle {
        return [=](const std::string& target) {
            auto file = std::make_shared<test::HeldFile>(target, access, share);
            EXPECT_TRUE(file->ok());
            return std::shared_ptr<void>(file);
        };
    };
    struct Case {
        const char* what;
        const char* relative;
        Obstacle obstacle;
    } cases[] = {{"held for reading, all shared", "tvn.ini",
                  held(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)},
                 {"held for writing, all shared", "tvn.ini",
                  held(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)},
                 {"held for reading, delete not shared", "tvn.ini",
                  held(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)},
                 {"held exclusively", "tvn.ini", held(GENERIC_READ, 0)},
                 {"read-only", "tvn.ini",
                  [](const std::string& target) {
                      EXPECT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY));
                      return std::shared_ptr<void>(nullptr, [target](void*) {
                          SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
                      });
                  }},
                 {"folder missing", "sub\\tvn.ini",
                  [](const std::string& target) {
                      return std::shared_ptr<void>(nullptr, [target](void*) {
                          test::MakeDirs(target.substr(0, target.rfind('\\')));
                      });
                  }},
                 // The last step, the rename over the target, is refused: the
                 // temporary file goes too.
                 {"held just before the rename", "tvn.ini",
                  [](const std::string& target) {
                      struct HoldAtRename : DiskChanges::ChangeSeam {
                          std::string target;
                          std::unique_ptr<test::HeldFile> held;
                          void BeforeChange(const std::wstring& path) override {
                              if (!held && lstrcmpiA(DiskChanges::ShownPath(path).c_str(),
                                                     target.c_str()) == 0)
                                  held = std::make_unique<test::HeldFile>(target, GENERIC_READ, 0);
                          }
                      };
                      auto seam = std::make_shared<HoldAtRename>();
                      seam->target = target;
                      DiskChanges::SetChangeSeam(seam.get());
                      return std::shared_ptr<void>(
                          seam.get(), [seam](void*) { DiskChanges::SetChangeSeam(nullptr); });
                  }},
                 {"a folder of that name", "tvn.ini", [](const std::string& target) {
                      DeleteFileA(target.c_str());
                      test::MakeDirs(target);
                      return std::shared_ptr<void>(
                          nullptr, [target](void*) { RemoveDirectoryA(target.c_str()); });
                  }}};
    for (const Case& c : cases) {
        test::TempDir dir;
        std::string target = dir / c.relative;
        test::WriteBytes(dir / "tvn.ini", oldBytes);
        TMemIniFile store(target);
        store.WriteString("Setup", "Redirect", "new");
        const std::string newBytes = store.CanonicalText();
        std::vector<std::string> before;
        {
            std::shared_ptr<void> obstacle = c.obstacle(target);
            before = test::ListDir(dir.path());
            EXPECT_EQ(MessageOf([&] { store.UpdateFile(); }), "Cannot create file " + target)
                << c.what;
            EXPECT_EQ(test::ListDir(dir.path()), before) << c.what;
        }
        if (test::IsFile(dir / "tvn.ini")) {
            EXPECT_EQ(test::ReadBytes(dir / "tvn.ini"), oldBytes) << c.what;
        }
        EXPECT_EQ(store.CanonicalText(), newBytes) << c.what;
        store.UpdateFile();
        EXPECT_EQ(test::ReadBytes(target), newBytes) << c.what << " (again)";
    }
}

TEST(IniStore, UpdateFileLeavesOnlyTheTargetAndKeepsItsMarks) {
    test::TempDir dir;
    std::string name = dir / "tvn.ini";
    test::WriteBytes(name, "[S]\r\nk=1\r\n");
    // A file that merely looks like a temporary file is not the store's.
    test::WriteBytes(name + "~1", "foreign");
    // One a run left when it died goes, hidden and read-only as it may be.
    test::WriteBytes(dir / "~$tvn.ini.tvn.tmp", "[S]\r\nk=");
    const DWORD marks = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    SetFileAttributesA((dir / "~$tvn.ini.tvn.tmp").c_str(), marks | FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetFileAttributesA(name.c_str(), marks));
    TMemIniFile store(name);
    store.WriteString("S", "k", "2");
    store.UpdateFile();
    EXPECT_EQ(test::ReadBytes(name), "[S]\r\nk=2\r\n\r\n");
    EXPECT_EQ(test::ReadBytes(name + "~1"), "foreign");
    EXPECT_EQ(test::ListDir(dir.path()), (std::vector<std::string>{"tvn.ini", "tvn.ini~1"}));

    std::string probe = dir / "probe";
    test::WriteBytes(probe, "");
    SetFileAttributesA(probe.c_str(), FILE_ATTRIBUTE_HIDDEN);
    if (!(GetFileAttributesA(probe.c_str()) & FILE_ATTRIBUTE_HIDDEN))
        GTEST_SKIP() << "this file system keeps no hidden mark";
    EXPECT_EQ(GetFileAttributesA(name.c_str()) & (marks | FILE_ATTRIBUTE_READONLY), marks);
}

TEST(IniStore, RelativeNameFollowsTheCurrentFolder) {
    test::TempDir first;
    test::TempDir second;
    test::WriteBytes(first / "tvn.ini", "[S]\r\nk=first\r\n");
    std::unique_ptr<TMemIniFile> store;
    {
        ScopedCurrentFolder in(first.path());
        store = std::make_unique<TMemIniFile>("tvn.ini");
    }
    EXPECT_EQ(store->ReadString("S", "k", NoValue), "first");
    {
        ScopedCurrentFolder in(second.path());
        store->UpdateFile();
    }
    EXPECT_EQ(test::ReadBytes(second / "tvn.ini"), "[S]\r\nk=first\r\n\r\n");
    EXPECT_EQ(test::ReadBytes(first / "tvn.ini"), "[S]\r\nk=first\r\n");
}
