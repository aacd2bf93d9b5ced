// The window's tests run in a sandbox that this process sees as its user's
// machine, with scripted dialogs.
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
    FormTest() { sandbox.SetEnvironment(); }

    test::Sandbox sandbox;
    test::ScriptedDialogs dialogs;
    std::unique_ptr<TMainCloudDriveForm> form;

    std::string Install() const { return sandbox.Install(); }
    std::string OneDrive() const { return sandbox.OneDrive(); }
    std::string Dropbox() const { return sandbox.Dropbox(); }
    static std::string Lower(const std::string& s) { return AsciiLowerCase(s); }

    // The installation at its standard place, redirected to the given folder
    // or not redirected.
    void MakeInstallation(const std::string& redirect = "") const {
        sandbox.MakeInstallation(redirect.empty() ? "[Setup]\r\nUser=me\r\n"
                                                  : "[Setup]\r\nRedirect=" + redirect + "\r\n");
    }

    void Start() {
        form = std::make_unique<TMainCloudDriveForm>();
        form->FormShow();
    }
};
