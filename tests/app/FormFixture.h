// A sandbox for the window's tests: a user profile and an application-data
// folder inside a temporary folder, with the installation at its standard
// place, and scripted dialogs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "TVNCloudDriveMain.h"
#include "TVNConfigUtil.h"
#include "TestSupport.h"

using TVNConfigUtil::AsciiLowerCase;

class FormTest : public ::testing::Test {
  protected:
    test::TempDir dir;
    const std::string appData = dir / "AppData";
    const std::string profile = dir / "Profile";
    test::ScopedEnv appDataEnv{"APPDATA", appData.c_str()};
    test::ScopedEnv profileEnv{"USERPROFILE", profile.c_str()};
    test::ScriptedDialogs dialogs;
    std::unique_ptr<TMainCloudDriveForm> form;

    std::string Install() const { return appData + "\\Brimlace\\Tallyvane\\"; }
    std::string OneDrive() const { return profile + "\\OneDrive\\"; }
    std::string Dropbox() const { return profile + "\\Dropbox\\"; }
    static std::string Lower(const std::string& s) { return AsciiLowerCase(s); }

    void MakeInstallation(const std::string& redirect = "") {
        test::WriteBytes(Install() + "tvn.inf", "inf");
        test::WriteBytes(Install() + "tvn.ini", redirect.empty()
                                                    ? "[Setup]\r\nUser=me\r\n"
                                                    : "[Setup]\r\nRedirect=" + redirect + "\r\n");
    }

    void Start() {
        form = std::make_unique<TMainCloudDriveForm>();
        form->FormShow();
    }
};
