#include "ConfigureDecisions.h"

#include "TVNConfigUtil.h"

namespace ConfigureDecisions {

Facts CheckFacts(const std::string& installFolder, const std::string& newFolder,
                 const std::string& redirectFolder, const std::string& providerFolder,
                 Provider provider) {
    using namespace TVNConfigUtil;
    Facts facts{installFolder, newFolder, redirectFolder, providerFolder, provider};
    facts.newIsProviderFolder = !newFolder.empty() && SamePath(newFolder, providerFolder);
    facts.installIsInstallation = IsInstallationFolder(installFolder);
    facts.newIsInstallation = !newFolder.empty() && IsInstallationFolder(newFolder);
    facts.redirectHasFiles = FolderHasFiles(redirectFolder);
    return facts;
}

} // namespace ConfigureDecisions
