// The account file of the Dropbox client (info.json): which folders it names.
// Pure text, no system calls, so the rule also builds natively for fuzzing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace TVNConfigUtil {

// The client writes a few hundred bytes; a larger file is not read at all.
constexpr std::size_t DropboxInfoMaxBytes = 1 << 20;

// The "path" of each account that a UTF-8 info.json text names, still in
// UTF-8: the "personal" account first, then "business", then every other
// account in name order. An account that is not an object, or whose path is
// not a string, is empty or holds a NUL, names nothing. A text that is not a
// JSON object, or is longer than DropboxInfoMaxBytes, names nothing.
std::vector<std::string> DropboxInfoPaths(const std::string& text);

} // namespace TVNConfigUtil
