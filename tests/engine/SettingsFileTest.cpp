#include <gtest/gtest.h>

#include "FileErrors.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using namespace TVNConfigUtil;

namespace {

std::string SetupWith(const std::string& redirectLine) {
    return "[Setup]\r\n" + redirectLine + "\r\n";
}

} // namespace

TEST(ReadRedirection, TrimsExpandsAndEndsWithABackslash) {
    test::TempDir dir;
    test::TempDir elsewhere;
    test::ScopedCurrentFolder current(elsewhere.path());
    ASSERT_TRUE(current.ok());
    const std::string tooLong = "c:\\" + std::string(300, 'x');
    struct Case {
        const char* what;
        const char* ini; // nullptr: no tvn.ini at all
        std::string expected;
    } cases[] = {
        {"no file", nullptr, ""},
        {"no Setup section", "[Other]\r\nRedirect=d:\\x\r\n", ""},
        {"empty", "[Setup]\r\nRedirect=\r\n", ""},
        {"blanks", "[Setup]\r\nRedirect= \t \x01\r\n", ""},
        {"padded", "[Setup]\r\nRedirect=  \tD:\\Sync\\Data \t\r\n", "D:\\Sync\\Data\\"},
        {"kept backslash", "[Setup]\r\nRedirect=d:\\Sync\\\r\n", "d:\\Sync\\"},
        {"dots", "[Setup]\r\nredirect=D:\\a\\..\\B\r\n", "D:\\B\\"},
        {"high byte kept", "[Setup]\r\nRedirect=d:\\caf\xE9\r\n", "d:\\caf\xE9\\"},
        {"relative", "[Setup]\r\nRedirect= Shared\\Data \r\n", elsewhere / "Shared\\Data\\"},
        {"other key", "[Setup]\r\nRedirection=d:\\x\r\n", ""},
    };
    for (const Case& c : cases) {
        std::string folder = dir / c.what;
        test::MakeDirs(folder);
        if (c.ini)
            test::WriteBytes(folder + "\\tvn.ini", c.ini);
        EXPECT_EQ(ReadRedirection(folder), c.expected) << c.what;
    }

    // A value whose full path does not fit reads as no redirection.
    test::WriteBytes(dir / "long\\tvn.ini", SetupWith("Redirect=" + tooLong));
    EXPECT_EQ(ReadRedirection(dir / "long"), "");
}

TEST(ReadRedirection, AFileHeldForWritingRaisesTheOpenError) {
    test::TempDir dir;
    test::WriteBytes(dir / "tvn.ini", SetupWith("Redirect=d:\\x"));
    test::HeldFile held(dir / "tvn.ini", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(held.ok());
    try {
        ReadRedirection(dir.path());
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir / "tvn.ini");
    }
}

TEST(OpenInstallationIni, FollowsARedirectionOneLevelToAnExistingFile) {
    test::TempDir dir;
    const std::string install = dir / "Install\\";
    const std::string target = dir / "Target\\";
    const std::string third = dir / "Third\\";
    test::MakeDirs(install);
    test::WriteBytes(target + "tvn.ini",
                     "[Setup]\r\nRedirect=" + third + "\r\n[Server]\r\nServerPath=target\r\n");
    test::WriteBytes(third + "tvn.ini", "[Server]\r\nServerPath=third\r\n");
    test::MakeDirs(dir / "Empty");
    struct Case {
        const char* what;
        const char* installIni; // nullptr: no tvn.ini in the installation
        std::string redirect;
        std::string expectedFile, expectedServer;
    } cases[] = {
        {"no file", nullptr, "", install + "tvn.ini", ""},
        {"not redirected", "", "", install + "tvn.ini", "own"},
        {"blank redirect", "", "Redirect=   ", install + "tvn.ini", "own"},
        {"no tvn.ini there", "", "Redirect=" + dir / "Empty", install + "tvn.ini", "own"},
        {"missing folder", "", "Redirect=" + dir / "Gone\\", install + "tvn.ini", "own"},
        {"redirected", "", "Redirect= " + RemoveBackslash(target) + " ", target + "tvn.ini",
         "target"},
        {"to itself", "", "Redirect=" + install, install + "tvn.ini", "own"},
    };
    for (const Case& c : cases) {
        if (c.installIni)
            test::WriteBytes(install + "tvn.ini",
                             "[Setup]\r\n" + c.redirect + "\r\n[Server]\r\nServerPath=own\r\n");
        else
            DeleteFileA((install + "tvn.ini").c_str());
        std::unique_ptr<TMemIniFile> store = OpenInstallationIni(RemoveBackslash(install));
        ASSERT_TRUE(store) << c.what;
        EXPECT_EQ(store->FileName(), c.expectedFile) << c.what;
        EXPECT_EQ(store->ReadString("Server", "ServerPath", ""), c.expectedServer) << c.what;
        if (!c.installIni) {
            EXPECT_FALSE(test::IsFile(install + "tvn.ini")) << "opening alone wrote a file";
        }
    }
}

TEST(WriteRedirection, WritesTheFileBackInItsCanonicalForm) {
    test::TempDir dir;
    struct Case {
        const char* what;
        const char* before; // nullptr: no tvn.ini
        std::string redirection;
        std::string after;
    } cases[] = {
        {"new", nullptr, "e:\\sync\\data\\", SetupWith("Redirect=e:\\sync\\data") + "\r\n"},
        {"two backslashes", nullptr, "e:\\sync\\data\\\\",
         SetupWith("Redirect=e:\\sync\\data\\") + "\r\n"},
        {"drive root", nullptr, "e:\\", SetupWith("Redirect=e:") + "\r\n"},
        {"as given", nullptr, " E:\\Sync Data", SetupWith("Redirect= E:\\Sync Data") + "\r\n"},
        {"replaced", "; note\r\n[setup]\r\nredirect=old\r\nUser=me\r\n", "f:\\new\\",
         "[setup]\r\nRedirect=f:\\new\r\nUser=me\r\n\r\n"},
        {"removed with section", "[Setup]\r\nRedirect=old\r\n[Server]\r\nServerPath=s\r\n", "",
         "[Server]\r\nServerPath=s\r\n\r\n"},
        {"other key stays", "[Setup]\r\nLanguage=de\r\nRedirect=old\r\n", "",
         "[Setup]\r\nLanguage=de\r\n\r\n"},
        {"plain line stays", "[Setup]\r\nRedirect=old\r\nnote\r\n", "", "[Setup]\r\nnote\r\n\r\n"},
        {"nothing to remove", "[Server]\r\nServerPath=s\r\n\r\n\r\n", "",
         "[Server]\r\nServerPath=s\r\n\r\n"},
        {"empty on no file", nullptr, "", ""},
    };
    for (const Case& c : cases) {
        std::string folder = dir / c.what;
        test::MakeDirs(folder);
        if (c.before)
            test::WriteBytes(folder + "\\tvn.ini", c.before);
        WriteRedirection(folder, c.redirection);
        ASSERT_TRUE(test::IsFile(folder + "\\tvn.ini")) << c.what;
        EXPECT_EQ(test::ReadBytes(folder + "\\tvn.ini"), c.after) << c.what;
    }
}

TEST(WriteRedirection, AMissingFolderRaisesTheCreateError) {
    test::TempDir dir;
    try {
        WriteRedirection(dir / "Missing", "e:\\x\\");
        FAIL() << "no error";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + dir / "Missing\\tvn.ini");
    }
    EXPECT_FALSE(test::IsDir(dir / "Missing"));
}

TEST(DeleteIniKey, ErasesTheSectionOnlyWhenNothingIsLeft) {
    test::TempDir dir;
    DeleteIniKey(nullptr, "Setup", "Redirect"); // nothing to do, no crash
    struct Case {
        const char* what;
        std::string before, section, key, after;
    } cases[] = {
        {"last key", "[Setup]\r\nRedirect=x\r\n[Server]\r\nServerAdmin=2\r\n", "Setup", "Redirect",
         "[Server]\r\nServerAdmin=2\r\n\r\n"},
        {"another key left", "[Server]\r\nServerPath=p\r\nServerAdmin=2\r\n", "server",
         "serveradmin", "[Server]\r\nServerPath=p\r\n\r\n"},
        {"plain line left", "[Server]\r\nServerAdmin=2\r\njust text\r\n", "Server", "ServerAdmin",
         "[Server]\r\njust text\r\n\r\n"},
        {"missing key", "[Server]\r\nServerPath=p\r\n", "Server", "ServerAdmin",
         "[Server]\r\nServerPath=p\r\n\r\n"},
        {"missing section", "[Setup]\r\nRedirect=x\r\n", "Server", "ServerPath",
         "[Setup]\r\nRedirect=x\r\n\r\n"},
        {"empty section", "[Server]\r\n[Setup]\r\nRedirect=x\r\n", "Server", "ServerPath",
         "[Setup]\r\nRedirect=x\r\n\r\n"},
    };
    for (const Case& c : cases) {
        std::string file = dir / (std::string(c.what) + ".ini");
        test::WriteBytes(file, c.before);
        TMemIniFile store(file);
        DeleteIniKey(&store, c.section, c.key);
        EXPECT_EQ(store.CanonicalText(), c.after) << c.what;
        EXPECT_EQ(test::ReadBytes(file), c.before) << c.what << ": written back";
    }
}
