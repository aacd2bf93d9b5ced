// The seam every dialog passes through.
#include "Dialogs.h"

namespace {
DialogSeam* currentSeam = nullptr;
} // namespace

DialogSeam& Dialogs() {
    return currentSeam ? *currentSeam : RealDialogs();
}
void SetDialogSeam(DialogSeam* seam) {
    currentSeam = seam;
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) {
    return Dialogs().MessageDlg(text, type, buttons, helpContext);
}

bool RunOpenFileDialog(const OpenFileRequest& request, std::string& fileName) {
    return Dialogs().OpenFile(request, fileName);
}
