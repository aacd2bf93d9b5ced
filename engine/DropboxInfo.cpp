#include "DropboxInfo.h"

#include <nlohmann/json.hpp>

namespace TVNConfigUtil {

namespace {

using Json = nlohmann::json;

// The account's folder, or empty when it names none.
std::string AccountPath(const Json& account) {
    if (!account.is_object())
        return std::string();
    auto path = account.find("path");
    if (path == account.end() || !path->is_string())
        return std::string();
    const std::string& text = path->get_ref<const std::string&>();
    return text.find('\0') == std::string::npos ? text : std::string();
}

} // namespace

std::vector<std::string> DropboxInfoPaths(const std::string& text) {
    std::vector<std::string> paths;
    if (text.size() > DropboxInfoMaxBytes)
        return paths;
    // The non-throwing parse: a damaged file is simply one that names nothing.
    const Json document = Json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        return paths;
    auto add = [&paths](const Json& account) {
        std::string path = AccountPath(account);
        if (!path.empty())
            paths.push_back(std::move(path));
    };
    for (const char* preferred : {"personal", "business"})
        if (auto account = document.find(preferred); account != document.end())
            add(*account);
    // The object keeps its keys sorted, so the others come in name order.
    for (auto account = document.begin(); account != document.end(); ++account)
        if (account.key() != "personal" && account.key() != "business")
            add(account.value());
    return paths;
}

} // namespace TVNConfigUtil
