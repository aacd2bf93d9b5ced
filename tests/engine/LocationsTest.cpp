#include <gtest/gtest.h>

#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

const char* const Fallback = "C:\\Program Files\\Brimlace\\Tallyvane\\";

} // namespace

TEST(SamePath, ComparesExpandedNormalForms) {
    test::TempDir dir;
    test::MakeDirs(dir / "Data");
    test::ScopedCurrentFolder current(dir.path());
    ASSERT_TRUE(current.ok());
    const std::string fits = "c:\\" + std::string(256, 'Y'); // 259 characters
    const std::string tooLong = fits + "z";
    std::string fitsUpperDrive = fits;
    fitsUpperDrive[0] = 'C';
    struct Case {
        std::string a, b;
        bool same;
    } cases[] = {
        {"C:\\Data", "c:\\data\\", true},
        {"", "", true},
        {"", "c:\\", false},
        {"c:\\", "C:", false}, // a bare drive is its current folder, not the root
        {"c:\\a\\..\\b", "C:\\B\\", true},
        {"c:\\data", "c:\\data2", false},
        {"data", dir / "Data", true},
        {"data\\", dir / "DATA\\", true},
        {"c:\\x\\\xC4", "c:\\x\\\xE4", false},
        {fits, AsciiLowerCase(fits), true},
        {fits, fitsUpperDrive, true},
        {tooLong, "", true}, // cannot be expanded: as good as empty
        {tooLong, fits, false},
        {tooLong, "c:\\", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SamePath(c.a, c.b), c.same) << c.a << " | " << c.b;
        EXPECT_EQ(SamePath(c.b, c.a), c.same) << c.b << " | " << c.a;
    }
}

TEST(GetEnvVar, ReturnsTheWholeValueOrEmpty) {
    const std::string name = "TVN_TEST_VARIABLE";
    {
        test::ScopedEnv unset(name, nullptr);
        EXPECT_EQ(GetEnvVar(name), "");
    }
    // Around the first buffer's size, and far beyond it.
    for (size_t length : {1u, 1022u, 1023u, 1024u, 1025u, 5000u}) {
        std::string value(length, 'v');
        value.front() = 'A';
        value.back() = 'Z';
        test::ScopedEnv set(name, value.c_str());
        EXPECT_EQ(GetEnvVar(name), value) << length << " characters";
    }
}

TEST(StandardInstallationFolder, TheApplicationDataCandidateWinsWhenItExists) {
    ASSERT_FALSE(IsInstallationFolder(Fallback))
        << "this prefix has an installation at " << Fallback;
    test::TempDir dir;
    struct Case {
        std::string appData;
        bool makeCandidate;
        std::string expected;
    } cases[] = {
        // An empty candidate folder wins: it need not hold tvn.inf.
        {dir / "App Data", true, dir / "App Data\\Brimlace\\Tallyvane\\"},
        {dir / "Roaming\\", true, dir / "Roaming\\Brimlace\\Tallyvane\\"},
        // A missing candidate is still the answer when there is no fallback.
        {dir / "Missing", false, dir / "Missing\\Brimlace\\Tallyvane\\"},
    };
    for (const Case& c : cases) {
        if (c.makeCandidate)
            test::MakeDirs(c.expected);
        test::ScopedEnv appData("APPDATA", c.appData.c_str());
        EXPECT_EQ(StandardInstallationFolder(), c.expected) << c.appData;
    }
    // Unset: the relative candidate, tested against the current folder.
    test::ScopedEnv unset("APPDATA", nullptr);
    test::ScopedCurrentFolder current(dir.path());
    ASSERT_TRUE(current.ok());
    EXPECT_EQ(StandardInstallationFolder(), "Brimlace\\Tallyvane\\");
    test::MakeDirs(dir / "Brimlace\\Tallyvane");
    EXPECT_EQ(StandardInstallationFolder(), "Brimlace\\Tallyvane\\");
}

TEST(StandardInstallationFolder, TheFallbackCountsOnlyWhenItHoldsAnInstallation) {
    // Works in this test prefix's own program folder and removes what it made.
    const std::string company = "C:\\Program Files\\Brimlace\\";
    if (test::IsDir(company) || test::IsFile(RemoveBackslash(company)))
        GTEST_SKIP() << company << " exists already";
    struct Cleanup {
        std::string folder;
        ~Cleanup() { test::RemoveTree(folder); }
    } cleanup{company};

    test::TempDir dir;
    const std::string candidate = dir / "AppData\\Brimlace\\Tallyvane\\";
    test::ScopedEnv appData("APPDATA", (dir / "AppData").c_str());

    test::MakeDirs(Fallback);
    EXPECT_EQ(StandardInstallationFolder(), candidate) << "fallback without tvn.inf";
    test::MakeDirs(std::string(Fallback) + "tvn.inf");
    EXPECT_EQ(StandardInstallationFolder(), candidate) << "fallback with a folder tvn.inf";
    test::RemoveTree(std::string(Fallback) + "tvn.inf");
    test::WriteBytes(std::string(Fallback) + "tvn.inf", "");
    EXPECT_EQ(StandardInstallationFolder(), Fallback) << "fallback with tvn.inf";
    test::MakeDirs(candidate);
    EXPECT_EQ(StandardInstallationFolder(), candidate) << "empty candidate and a fallback";
}

TEST(IsInstallationFolder, NeedsAFileNamedTvnInf) {
    test::TempDir dir;
    test::WriteBytes(dir / "Install\\tvn.inf", "");
    test::MakeDirs(dir / "Subfolder\\tvn.inf");
    test::WriteBytes(dir / "Other\\tvn.ini", "[Setup]\r\n");
    struct Case {
        std::string folder;
        bool installation;
    } cases[] = {
        {dir / "Install", true}, {dir / "Install\\", true}, {dir / "Subfolder", false},
        {dir / "Other", false},  {dir / "Missing", false},  {dir / "Install\\tvn.inf", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsInstallationFolder(c.folder), c.installation) << c.folder;

    // An empty folder stands for the current folder's bare name.
    test::ScopedCurrentFolder inInstall(dir / "Install");
    ASSERT_TRUE(inInstall.ok());
    EXPECT_TRUE(IsInstallationFolder(""));
    test::ScopedCurrentFolder inOther(dir / "Other");
    ASSERT_TRUE(inOther.ok());
    EXPECT_FALSE(IsInstallationFolder(""));
}

TEST(EnsureDataFolder, CreatesWhatIsMissingAndFailsWhenItCannot) {
    test::TempDir dir;
    test::MakeDirs(dir / "Ready\\Data");
    test::MakeDirs(dir / "NoData");
    test::WriteBytes(dir / "AFile", "x");
    test::WriteBytes(dir / "DataIsAFile\\Data", "x");
    struct Case {
        std::string root;
        bool ok;
        std::string dataFolder; // must exist afterwards when ok
    } cases[] = {
        {dir / "Ready", true, dir / "Ready\\Data"},
        {dir / "NoData\\", true, dir / "NoData\\Data"},
        {dir / "New\\Parents\\Root", true, dir / "New\\Parents\\Root\\Data"},
        {"q:\\", false, ""},
        {"q:\\Sync\\Data", false, ""},
        {dir / "AFile", false, ""},
        {dir / "AFile\\Below", false, ""},
        {dir / "DataIsAFile", false, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EnsureDataFolder(c.root), c.ok) << c.root;
        if (c.ok) {
            EXPECT_TRUE(test::IsDir(c.dataFolder)) << c.dataFolder;
        }
    }
    EXPECT_TRUE(test::IsFile(dir / "AFile"));
    EXPECT_TRUE(test::IsFile(dir / "DataIsAFile\\Data"));

    // An empty root is not in use: nothing is created in the current folder.
    test::TempDir empty;
    test::ScopedCurrentFolder current(empty.path());
    ASSERT_TRUE(current.ok());
    EXPECT_TRUE(EnsureDataFolder(""));
    EXPECT_TRUE(test::ListDir(empty.path()).empty());
}

TEST(ProviderFolders, ExistOnlyAsFoldersBelowTheProfile) {
    test::TempDir dir;
    test::MakeDirs(dir / "WithFolders\\Dropbox");
    test::MakeDirs(dir / "WithFolders\\OneDrive");
    test::WriteBytes(dir / "WithFiles\\Dropbox", "x");
    test::WriteBytes(dir / "WithFiles\\OneDrive", "x");
    test::MakeDirs(dir / "Bare");
    struct Case {
        std::string profile, dropbox, oneDrive;
    } cases[] = {
        {dir / "WithFolders", dir / "WithFolders\\Dropbox\\", dir / "WithFolders\\OneDrive\\"},
        {dir / "WithFolders\\", dir / "WithFolders\\Dropbox\\", dir / "WithFolders\\OneDrive\\"},
        {dir / "WithFiles", "", ""},
        {dir / "Bare", "", ""},
        {dir / "Missing", "", ""},
    };
    for (const Case& c : cases) {
        test::ScopedEnv profile("USERPROFILE", c.profile.c_str());
        EXPECT_EQ(DropboxFolder(), c.dropbox) << c.profile;
        EXPECT_EQ(OneDriveFolder(), c.oneDrive) << c.profile;
    }

    // Unset: relative names, tested against the current folder.
    test::ScopedEnv unset("USERPROFILE", nullptr);
    test::ScopedCurrentFolder inBare(dir / "Bare");
    ASSERT_TRUE(inBare.ok());
    EXPECT_EQ(DropboxFolder(), "");
    EXPECT_EQ(OneDriveFolder(), "");
    test::ScopedCurrentFolder inFolders(dir / "WithFolders");
    ASSERT_TRUE(inFolders.ok());
    EXPECT_EQ(DropboxFolder(), "Dropbox\\");
    EXPECT_EQ(OneDriveFolder(), "OneDrive\\");
}
