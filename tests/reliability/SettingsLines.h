// The lines of a settings text that a run must keep: every line of every
// section, with its section's name in lower case, other than the three keys
// the configuration writes ([Setup] Redirect, [Server] ServerPath and
// ServerAdmin).
#pragma once

#include <set>
#include <string>
#include <utility>

#include "IniText.h"
#include "PathRules.h"

namespace test {

using SettingsLines = std::multiset<std::pair<std::string, std::string>>;

inline SettingsLines KeptSettingsLines(const std::string& text) {
    SettingsLines found;
    const TIniText ini = TIniText::Parse(text);
    for (const auto& [section, lines] : ini.Sections())
        for (const std::string& line : lines) {
            const std::string name = TVNConfigUtil::AsciiLowerCase(section);
            const std::string low = TVNConfigUtil::AsciiLowerCase(line);
            if (!(name == "setup" && low.starts_with("redirect=")) &&
                !(name == "server" &&
                  (low.starts_with("serverpath=") || low.starts_with("serveradmin="))))
                found.insert({name, line});
        }
    return found;
}

// The first kept line of was that now lacks (as many times as was holds it),
// or null.
inline const SettingsLines::value_type* FirstMissing(const SettingsLines& was,
                                                     const SettingsLines& now) {
    for (const auto& line : was)
        if (now.count(line) < was.count(line))
            return &line;
    return nullptr;
}

} // namespace test
