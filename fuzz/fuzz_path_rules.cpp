// Path forms and components. The whole input is one path; split at its first
// LF it is also a folder and a text whose last component serves as a file
// name, for the properties of paths put together.
#include <cctype>
#include <cstdint>
#include <string>

#include "FileSystemText.h"
#include "FuzzCheck.h"
#include "PathRules.h"

using namespace TVNConfigUtil;
using FileSystem::ExtractFileName;
using FileSystem::ExtractFilePath;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const bool endsInBackslash = path.ends_with('\\');

    // One closing backslash is added or removed, never more, and nothing else changes.
    const std::string closed = AddBackslash(path);
    FUZZ_CHECK(closed.starts_with(path) && closed.size() - path.size() <= 1);
    FUZZ_CHECK(path.empty() ? closed.empty() : closed.ends_with('\\'));
    FUZZ_CHECK(AddBackslash(closed) == closed);
    FUZZ_CHECK(RemoveBackslash(path) + (endsInBackslash ? "\\" : "") == path);
    FUZZ_CHECK(endsInBackslash || RemoveBackslash(closed) == path);

    // Lower-casing is the C locale's tolower byte for byte: only A-Z change.
    const std::string lower = AsciiLowerCase(path);
    FUZZ_CHECK(lower.size() == path.size());
    for (size_t i = 0; i < path.size(); ++i)
        FUZZ_CHECK(lower[i] ==
                   static_cast<char>(std::tolower(static_cast<unsigned char>(path[i]))));

    const std::string normal = NormalForm(path);
    FUZZ_CHECK(normal.size() == closed.size() && NormalForm(normal) == normal);
    FUZZ_CHECK(NormalForm(lower) == normal && NormalForm(closed) == normal);

    const std::string dataFolder = DataFolderOf(path);
    FUZZ_CHECK(dataFolder.starts_with(path) && dataFolder.size() == closed.size() + 5);
    FUZZ_CHECK(ExtractFilePath(dataFolder) == dataFolder);
    FUZZ_CHECK(ExtractFileName(RemoveBackslash(dataFolder)) == "Data");
    FUZZ_CHECK(FolderOfFile(dataFolder + "x.txt") == RemoveBackslash(dataFolder));

    // The folder part ends at the last "\" or ":"; the name holds neither.
    const std::string folder = ExtractFilePath(path);
    const std::string name = ExtractFileName(path);
    FUZZ_CHECK(folder + name == path);
    FUZZ_CHECK(name.find_first_of("\\:") == std::string::npos);
    FUZZ_CHECK(folder.empty() || folder.ends_with('\\') || folder.ends_with(':'));
    FUZZ_CHECK(ExtractFilePath(folder) == folder && ExtractFileName(folder).empty());

    // FolderOfFile is the folder part, at most its closing backslash shorter.
    const std::string parent = FolderOfFile(path);
    FUZZ_CHECK(folder.starts_with(parent) && folder.size() - parent.size() <= 1);

    const size_t cut = path.find('\n');
    const std::string dir = path.substr(0, cut);
    const std::string leaf = cut == std::string::npos ? "" : ExtractFileName(path.substr(cut + 1));
    FUZZ_CHECK(FolderOfFile(leaf).empty());
    FUZZ_CHECK(FolderOfFile("\\" + leaf) == "\\");
    FUZZ_CHECK(FolderOfFile(dir + ":" + leaf) == dir + ":");
    if (!dir.empty() && !dir.ends_with('\\')) {
        // A drive root keeps its backslash: "c:\" is not "c:".
        FUZZ_CHECK(FolderOfFile(dir + "\\" + leaf) == (dir.ends_with(':') ? dir + "\\" : dir));
        FUZZ_CHECK(ExtractFileName(dir + "\\" + leaf) == leaf);
    }
    return 0;
}
