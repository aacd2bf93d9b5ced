// The resources the built program carries: its version record, its icon and
// exactly one application manifest. Read from the executable beside this
// test, as the shell and the loader read them.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string ProgramPath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "TVNCloudDrive.exe";
}

// The program's module, loaded for its resources only.
class ResourceModule {
  public:
    explicit ResourceModule(const std::string& path)
        : module_(LoadLibraryExA(path.c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~ResourceModule() {
        if (module_)
            FreeLibrary(module_);
    }
    ResourceModule(const ResourceModule&) = delete;
    ResourceModule& operator=(const ResourceModule&) = delete;
    HMODULE get() const { return module_; }

  private:
    HMODULE module_;
};

// Resource names of a type, in the order the resource directory keeps them
// (named ones first, as the shell sees them); numeric IDs as "#n".
std::vector<std::string> ResourceNames(HMODULE module, LPCSTR type) {
    std::vector<std::string> names;
    EnumResourceNamesA(
        module, type,
        [](HMODULE, LPCSTR, LPSTR name, LONG_PTR data) -> BOOL {
            auto* list = reinterpret_cast<std::vector<std::string>*>(data);
            std::string text = "#";
            if (IS_INTRESOURCE(name))
                text += std::to_string(reinterpret_cast<ULONG_PTR>(name));
            else
                text = name;
            list->push_back(text);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&names));
    return names;
}

int LanguageCount(HMODULE module, LPCSTR type, LPCSTR name) {
    int count = 0;
    EnumResourceLanguagesA(
        module, type, name,
        [](HMODULE, LPCSTR, LPCSTR, WORD, LONG_PTR data) -> BOOL {
            ++*reinterpret_cast<int*>(data);
            return TRUE;
        },
        reinterpret_cast<LONG_PTR>(&count));
    return count;
}

std::string ResourceText(HMODULE module, LPCSTR type, LPCSTR name) {
    HRSRC found = FindResourceA(module, name, type);
    if (!found)
        return {};
    HGLOBAL loaded = LoadResource(module, found);
    const char* data = static_cast<const char*>(LockResource(loaded));
    return data ? std::string(data, SizeofResource(module, found)) : std::string();
}

// Version strings through version.dll, loaded at run time so that the test
// needs no extra import library.
class VersionRecord {
  public:
    explicit VersionRecord(const std::string& path) : library_(LoadLibraryA("version.dll")) {
        if (!library_)
            return;
        using SizeFn = DWORD(WINAPI*)(LPCSTR, LPDWORD);
        using InfoFn = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID);
        auto size = reinterpret_cast<SizeFn>(
            reinterpret_cast<void*>(GetProcAddress(library_, "GetFileVersionInfoSizeA")));
        auto info = reinterpret_cast<InfoFn>(
            reinterpret_cast<void*>(GetProcAddress(library_, "GetFileVersionInfoA")));
        query_ = reinterpret_cast<QueryFn>(
            reinterpret_cast<void*>(GetProcAddress(library_, "VerQueryValueA")));
        DWORD handle = 0;
        if (!size || !info || !query_)
            return;
        data_.resize(size(path.c_str(), &handle));
        if (data_.empty() || !info(path.c_str(), 0, static_cast<DWORD>(data_.size()), data_.data()))
            data_.clear();
    }
    ~VersionRecord() {
        if (library_)
            FreeLibrary(library_);
    }
    VersionRecord(const VersionRecord&) = delete;
    VersionRecord& operator=(const VersionRecord&) = delete;

    std::string String(const std::string& key) const {
        void* value = nullptr;
        UINT length = 0;
        const std::string path = "\\StringFileInfo\\040904E4\\" + key;
        if (data_.empty() || !query_(data_.data(), path.c_str(), &value, &length) || !length)
            return {};
        return static_cast<const char*>(value);
    }
    // The fixed part: "a.b.c.d" of the file and the product version.
    std::string Fixed(bool product) const {
        void* value = nullptr;
        UINT length = 0;
        if (data_.empty() || !query_(data_.data(), "\\", &value, &length))
            return {};
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
        const DWORD ms = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
        const DWORD ls = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
        return std::to_string(HIWORD(ms)) + "." + std::to_string(LOWORD(ms)) + "." +
               std::to_string(HIWORD(ls)) + "." + std::to_string(LOWORD(ls));
    }

  private:
    using QueryFn = BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    HMODULE library_;
    QueryFn query_ = nullptr;
    std::vector<char> data_;
};

} // namespace

TEST(ExecutableResources, VersionRecordNamesTheProgram) {
    VersionRecord version(ProgramPath());
    struct Case {
        const char* key;
        const char* value;
    } cases[] = {
        {"FileDescription", "TVN Cloud Drive Configuration"},
        {"FileVersion", TVN_PROJECT_VERSION},
        {"ProductVersion", TVN_PROJECT_VERSION},
        {"CompanyName", TVN_PUBLISHER},
        {"ProductName", "TVN Cloud Drive Configuration"},
        {"OriginalFilename", "TVNCloudDrive.exe"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(version.String(c.key), c.value) << c.key;
    EXPECT_EQ(version.Fixed(false), TVN_PROJECT_VERSION);
    EXPECT_EQ(version.Fixed(true), TVN_PROJECT_VERSION);
}

TEST(ExecutableResources, MainIconComesFirstInEverySize) {
    ResourceModule program(ProgramPath());
    ASSERT_NE(program.get(), nullptr);
    const std::vector<std::string> groups = ResourceNames(program.get(), RT_GROUP_ICON);
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups.front(), "MAINICON");
    for (int size : {16, 32, 48, 256}) {
        HICON icon =
            static_cast<HICON>(LoadImageA(program.get(), "MAINICON", IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        BITMAP bitmap{};
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(bitmap.bmWidth, size);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        if (info.hbmMask)
            DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST(ExecutableResources, ExactlyOneManifestAskingForCommonControlsAndDpiAwareness) {
    ResourceModule program(ProgramPath());
    ASSERT_NE(program.get(), nullptr);
    EXPECT_EQ(ResourceNames(program.get(), RT_MANIFEST), std::vector<std::string>{"#1"});
    EXPECT_EQ(LanguageCount(program.get(), RT_MANIFEST, MAKEINTRESOURCEA(1)), 1);
    const std::string manifest = ResourceText(program.get(), RT_MANIFEST, MAKEINTRESOURCEA(1));
    for (const char* needle :
         {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "<dpiAware",
          ">true</dpiAware>", ">PerMonitorV2</dpiAwareness>", "level=\"asInvoker\"", "supportedOS"})
        EXPECT_NE(manifest.find(needle), std::string::npos) << needle;
}
