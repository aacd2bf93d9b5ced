// Placeholder real dialogs; replaced by the full message dialog.
#include "Dialogs.h"
#include "SelectFolder.h"

namespace {
class Real : public DialogSeam {
  public:
    int MessageDlg(const std::string& text, TMsgDlgType, TMsgDlgButtons, int) override {
        return MessageBoxA(ApplicationWindow(), text.c_str(), ApplicationTitle().c_str(), MB_OK);
    }
    bool BrowseForFolder(HWND owner, const std::string& caption, std::string& folder) override {
        return ShowShellFolderBrowser(owner, caption, folder);
    }
    bool OpenFile(const OpenFileRequest&, std::string&) override { return false; }
    void ShowErrorBox(const std::string& title, const std::string& text) override {
        MessageBoxA(ApplicationWindow(), text.c_str(), title.c_str(), MB_OK | MB_ICONSTOP);
    }
};
} // namespace

DialogSeam& RealDialogs() {
    static Real real;
    return real;
}
