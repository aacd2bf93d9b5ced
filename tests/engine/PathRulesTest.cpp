// The engine's pure path and name rules.
#include <gtest/gtest.h>

#include "ConflictRules.h"
#include "PathRules.h"

using namespace TVNConfigUtil;

TEST(PathRules, AddAndRemoveBackslashLookOnlyAtTheLastCharacter) {
    struct Case {
        std::string path, added, removed;
    } cases[] = {
        {"", "", ""},
        {"c:\\data", "c:\\data\\", "c:\\data"},
        {"c:\\data\\", "c:\\data\\", "c:\\data"},
        {"c:", "c:\\", "c:"},
        {"c:\\", "c:\\", "c:"},
        {"c:\\data\\\\", "c:\\data\\\\", "c:\\data\\"},
        {"c:/data/", "c:/data/\\", "c:/data/"},
        {"\\", "\\", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AddBackslash(c.path), c.added) << c.path;
        EXPECT_EQ(RemoveBackslash(c.path), c.removed) << c.path;
    }
}

TEST(PathRules, AsciiLowerCaseMapsOnlyAToZ) {
    // The bytes around the capitals and the accented capitals stay as they are.
    EXPECT_EQ(AsciiLowerCase("@AZ[`az{"), "@az[`az{");
    EXPECT_EQ(AsciiLowerCase("C:\\\xC4RGER\\\xC9t\xE9"), "c:\\\xC4rger\\\xC9t\xE9");
    EXPECT_EQ(AsciiLowerCase(""), "");
}

TEST(PathRules, DataFolderOf) {
    EXPECT_EQ(DataFolderOf(""), "Data\\");
    EXPECT_EQ(DataFolderOf("d:\\x"), "d:\\x\\Data\\");
    EXPECT_EQ(DataFolderOf("D:\\X\\"), "D:\\X\\Data\\");
}

TEST(PathRules, NormalFormEndsWithABackslashInLowerCase) {
    EXPECT_EQ(NormalForm(""), "");
    EXPECT_EQ(NormalForm("C:\\Data"), "c:\\data\\");
    EXPECT_EQ(NormalForm("D:\\X\\"), "d:\\x\\");
    EXPECT_EQ(NormalForm("C:\\\xC4rger"), "c:\\\xC4rger\\");
}

TEST(PathRules, LiesInsideOnlyBelowOrAtANonEmptyHolder) {
    struct Case {
        std::string folder, holder;
        bool inside;
    } cases[] = {
        {"c:\\onedrive\\tvn\\", "c:\\onedrive\\", true},
        {"c:\\onedrive\\", "c:\\onedrive\\", true},
        {"c:\\onedrive backup\\", "c:\\onedrive\\", false},
        {"c:\\onedrive\\tvn\\", "", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LiesInside(c.folder, c.holder), c.inside) << c.folder << " | " << c.holder;
}

TEST(PathRules, FolderOfFileKeepsTheBackslashOnlyOfARoot) {
    struct Case {
        std::string path, folder;
    } cases[] = {
        {"c:\\a\\b.txt", "c:\\a"},
        {"c:\\b.txt", "c:\\"},
        {"c:b.txt", "c:"},
        {"\\b.txt", "\\"},
        {"b.txt", ""},
        {"c:\\a\\", "c:\\a"},
        {"\\\\srv\\share\\f", "\\\\srv\\share"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FolderOfFile(c.path), c.folder) << c.path;
}

TEST(PathRules, TimestampFieldsHaveFixedWidths) {
    EXPECT_EQ(FormatTimestampFields(2024, 3, 5, 14, 7, 9, 42), "2024-03-05 [14-07-09-042]");
    EXPECT_EQ(FormatTimestampFields(2024, 3, 5, 21, 5, 3, 7), "2024-03-05 [21-05-03-007]");
    EXPECT_EQ(FormatTimestampFields(1999, 12, 31, 0, 0, 0, 0), "1999-12-31 [00-00-00-000]");
    EXPECT_EQ(FormatTimestampFields(2025, 1, 1, 23, 59, 59, 999), "2025-01-01 [23-59-59-999]");
}

TEST(IsBackupFolderName, LooksOnlyAtPrefixAndSeparators) {
    const std::string good = "TVN Backup 2024-03-05 [14-07-09-042]";
    struct Case {
        std::string name;
        bool backup;
    } cases[] = {
        {good, true},
        {"tvn backup 2024-03-05 [14-07-09-042]", true},
        {"TVN BACKUP 2024-03-05 [14-07-09-042]", true},
        {"c:\\data\\" + good, true},
        {"c:" + good, true},
        {good + " old", true},
        {"TVN Backup abcd-ef-gh ij-kl-mn-op-qrs]", false}, // position 12 is "i"
        {"TVN Backup abcd-ef-gh [ij-kl-mn-opq]", true},
        {"TVN Backup ", false},
        {"TVN Backup", false},
        {"", false},
        {"Old " + good, false},
        {good.substr(0, 35), false},
        {"TVN Backup 2024-03-05 (14-07-09-042]", false},
        {"TVN Backup 2024-03-05 [14-07-09-042)", false},
        {"TVN Backup 2024_03-05 [14-07-09-042]", false},
        {"TVN Backup 2024-03-05 [14:07-09-042]", false},
        {"TVN  Backup 2024-03-05 [14-07-09-042]", false},
        {good + "\\", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsBackupFolderName(BackupPrefix, c.name), c.backup) << c.name;
    // Only the letters A to Z are matched without regard to case.
    EXPECT_TRUE(IsBackupFolderName("\xc9t\xe9 ", "\xc9T\xe9 2024-03-05 [14-07-09-042]"));
    EXPECT_FALSE(IsBackupFolderName("\xc9t\xe9 ", "\xc9T\xc9 2024-03-05 [14-07-09-042]"));
}

TEST(IsInteger, DecimalAndHexadecimalForms) {
    struct Case {
        const char* text;
        bool integer;
    } cases[] = {
        {"2024", true},         {" 24", true},         {"   7", true},
        {"-1", true},           {"+12", true},         {"$7E8", true},
        {"0x1F", true},         {"0X1f", true},        {"x1F", true},
        {"X0", true},           {"00", true},          {"2147483647", true},
        {"-2147483648", true},  {"$FFFFFFFF", true},   {"", false},
        {" ", false},           {"-", false},          {"+", false},
        {"- 1", false},         {"20a4", false},       {"1 ", false},
        {"\t1", false},         {"$", false},          {"0x", false},
        {"-$1", false},         {"$-1", false},        {"+-1", false},
        {"1e3", false},         {"$G", false},         {"2147483648", false},
        {"-2147483649", false}, {"$100000000", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsInteger(c.text), c.integer) << '"' << c.text << '"';
}

TEST(IsMonthlyDataFileName, OnlyTheYearMonthForm) {
    struct Case {
        const char* name;
        bool monthly;
    } cases[] = {
        {"2024-03.txt", true},         {"2024-03.TXT", true},
        {"2024-13.txt", true},         {"0000-00.txt", true},
        {"+024-03.txt", true},         {" 024- 3.txt", true},
        {"$7E8-03.tXt", true},         {"c:\\tvn\\Data\\2024-03.txt", true},
        {"c:2024-03.txt", true},       {"2024-3.txt", false},
        {"2024_03.txt", false},        {"notes.txt", false},
        {"2024-03.txt.bak", false},    {"2024-03.csv", false},
        {"2024-03.tx", false},         {"2024-03xtxt", false},
        {"20a4-03.txt", false},        {"2024-0a.txt", false},
        {"2024--3.txt", true}, // the month "-3" converts
        {"c:\\2024-03.txt\\x", false}, {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsMonthlyDataFileName(c.name), c.monthly) << c.name;
}

TEST(ConflictCopyMonth, BothProvidersFormsAndNothingElse) {
    for (const char* copy :
         {"2024-01-LAPTOP.txt", "2024-01-LAPTOP-2.TXT", "2024-01-R\xC4UM_1.txt",
          "2024-01 (Ann's conflicted copy 2024-01-05).txt", "2024-01 (Ann's conflicted copy).txt",
          "2024-01 (Ann's Conflicted Copy 2024-01-05) (1).txt",
          "2024-01 (Ann's conflicted copy) (Bob's conflicted copy 2024-02-01).txt",
          "2024-01 (Anns in Konflikt stehende Kopie 2024-01-05).txt", "2024-01 (Case Conflict).txt",
          "2024-01 (Unicode Encoding Conflict).txt", "2024-01-DESKTOP-AB12CD3.txt",
          "2024-01-DESKTOP-AB12CD3-12.txt", "2024-01-OLDPC.txt", "2024-01-Bak-Laptop.txt",
          "2024-01 (Ann's conflicted copy) (100).txt"})
        EXPECT_EQ(ConflictCopyMonth(copy), "2024-01") << copy;
    EXPECT_EQ(ConflictCopyMonth("c:\\tvn\\Data\\2023-12-ANN-PC.txt"), "2023-12");
    for (const char* other :
         {"2024-01.txt", "2024-01-15.txt", "2024-01-15-1.txt", "2024-01--LAPTOP.txt",
          "2024-01-LAP TOP.txt", "2024-01-.txt", "2024-01 (1).txt", "2024-01 (notes).txt",
          "2024-01-LAPTOP.txt~merge", "2024-01-LAPTOP.csv", "2024-1-LAPTOP.txt", "notes-LAPTOP.txt",
          "c:\\2024-01-LAPTOP.txt\\x", "2024-01(Ann's conflicted copy).txt",
          "2024-01 (Ann's conflicted copy.txt", "2024-01 (Ann's (x) conflicted copy).txt",
          "TVN Backup 2024-01-05 [14-07-09-042]",
          // Names given by hand, and no computer's name (too long, no letter).
          "2024-01-old.txt", "2024-01-backup.txt", "2024-01-Summary.txt", "2024-01-15_1.txt",
          "2024-01-OLD2.txt", "2024-01-old-2.txt", "2024-01-Kopie_3.txt",
          "2024-01-DESKTOP-AB12CD34.txt", "2024-01 (Ann's conflicted copy) (1000).txt",
          "~$2024-01-LAPTOP.txt.tvn.tmp"})
        EXPECT_EQ(ConflictCopyMonth(other), "") << other;
}
