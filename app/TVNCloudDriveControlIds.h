// Control IDs of the configuration window's children and of its history
// dialog's (also used by the end-to-end tests to find them).
#pragma once

// Control IDs, well above IDOK/IDCANCEL.
enum TVNCloudDriveControlId {
    idPanel3 = 1001,
    idLblExeLocated1,
    idLblExeLocated2,
    idBtnBrowseInstall,
    idTxtInstallFolder,
    idPanel1,
    idBtnOneDrive,
    idBtnDropbox,
    idLblCloudDriveLocated1,
    idLblCloudDriveLocated2,
    idBtnBrowseCloudDrive,
    idTxtCloudDriveFolder,
    idChkDisconnect,
    idBevel1,
    idBtnOK,
    idBtnCancel,
    idBtnRestore,
};

// The history dialog's children.
enum RestoreDialogControlId {
    idLblHistory = 1101,
    idLstHistory,
    idLblPreview,
    idTxtPreview,
    idBtnRestoreRun,
    idBtnOpenBackup,
    idBtnCloseHistory,
};
