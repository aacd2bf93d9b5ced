#include "OnlineFiles.h"

#include "CloudFiles.h"
#include "FileErrors.h"
#include "DiskChanges.h"
#include "Progress.h"
#include "TVNConfigUtil.h"

namespace TVNConfigUtil {

namespace {

// The providers' folders, looked up once for many files.
struct SyncFolders {
    std::vector<std::string> folders = ProviderFolders();

    std::string ClientOf(const std::string& path) const {
        const SyncClient client = ClientHolding(path, folders);
        return client == SyncClient::None ? "the sync client" : ProviderOf(client).name;
    }
};

// Why the client could not provide the file, in our own words: the system's
// text for these errors is missing on older Windows (and under Wine). "@"
// stands for the client.
const char* CauseText(DWORD code) {
    switch (code) {
    case 358:
        return "the records of the synced folder on this machine are damaged";
    case 362:
        return "@ is not running";
    case 363:
    case 364:
        return "the file's sync records on this machine are damaged or too large";
    case 365:
    case 366:
    case 374:
    case 375:
    case 394:
        return "the file's sync properties on this machine are damaged or unusable";
    case 376:
    case 390:
    case 405:
        return "Windows does not take the file or its folder for one that @ keeps";
    case 377:
        return "the file is not in step with its online copy";
    case 378:
        return "its folder is connected to another sync client";
    case 379:
    case 380:
    case 382:
        return "@ refused the download";
    case 381:
        return "its drive is read-only";
    case 383:
        return "@ could not verify the downloaded data";
    case 386:
        return "@ could not sign in";
    case 387:
        return "this machine is short of memory or other resources";
    case 388:
        return "there is no network connection";
    case 391:
    case 397:
        return "another program is using the file";
    case 392:
        return "the file is marked to be kept on this device and cannot change now";
    case 393:
    case 398:
        return "the download was broken off";
    case 395:
        return "@ denied access to the file";
    case 396:
        return "the file has hard links that @ cannot handle";
    case 404:
        return "@ stopped unexpectedly";
    case 426:
    case 475:
        return "@ did not answer in time";
    default:
        return "the download did not succeed";
    }
}

std::string Cause(DWORD code, const std::string& client) {
    std::string text = CauseText(code);
    if (const size_t at = text.find('@'); at != std::string::npos)
        text.replace(at, 1, client);
    return text;
}

std::string FailureText(const std::string& path, DWORD error, const std::string& client) {
    const DWORD code = CloudFiles::Win32Code(error);
    return "The file \"" + path + "\" is stored online only, and " + client +
           " could not provide it (" + Cause(code, client) + ", error " + std::to_string(code) +
           ").\r\nStart " + client +
           ", sign in and wait until it shows that your files are up to date, then press "
           "Configure again.";
}

} // namespace

std::string SyncClientOf(const std::string& path) {
    return SyncFolders().ClientOf(path);
}

std::string CloudFileFailure(const std::string& path, DWORD error) {
    if (!CloudFiles::IsCloudFileError(error))
        return std::string();
    return FailureText(path, error, SyncClientOf(path));
}

void ThrowUnreadable(const std::string& path, DWORD error) {
    if (const std::string named = CloudFileFailure(path, error); !named.empty())
        throw EFCloudFileError(named);
    throw EFOpenError(path);
}

bool FetchOnlineFiles(const std::vector<FileToFetch>& files, FetchFailure& failure) {
    failure = FetchFailure{};
    if (files.empty())
        return true;
    // Each client's files as one stage, in the order they were given.
    const SyncFolders folders;
    std::vector<std::string> clients, shown;
    for (const FileToFetch& file : files) {
        shown.push_back(DiskChanges::ShownPath(file.path));
        clients.push_back(folders.ClientOf(shown.back()));
    }
    std::vector<bool> done(files.size(), false);
    for (size_t first = 0; first < files.size(); ++first) {
        if (done[first])
            continue;
        unsigned long long count = 0, bytes = 0;
        for (size_t i = first; i < files.size(); ++i)
            if (!done[i] && clients[i] == clients[first])
                ++count, bytes += files[i].bytes;
        ReportStage(WorkStage::Downloading, clients[first], count, bytes);
        for (size_t i = first; i < files.size(); ++i) {
            if (done[i] || clients[i] != clients[first])
                continue;
            done[i] = true;
            if (ProgressObserved() && !MayGoOn(shown[i], files[i].bytes))
                return false;
            const DWORD error = CloudFiles::Fetch(files[i].path);
            if (error != 0 && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
                failure = FetchFailure{files[i].path, error};
                return false;
            }
        }
    }
    return true;
}

std::string KeepDataOnThisDevice(const std::string& location) {
    const SyncClient client = ClientHolding(NormalForm(location));
    if (client == SyncClient::None || !ProviderOf(client).keepOnDevice ||
        !CloudFiles::KeepOnThisDevice(DiskChanges::WidePath(RemoveBackslash(location))))
        return std::string();
    return "Tallyvane's data is kept on this device (\"Always keep on this device\").";
}

} // namespace TVNConfigUtil
