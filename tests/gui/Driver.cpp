#include "Driver.h"

#include <algorithm>
#include <map>

namespace gui {

namespace {

constexpr DWORD PollMs = 10;
constexpr UINT SendTimeoutMs = 2000;

// Environment names compare without regard to case, as Windows does.
struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    }
};

std::string EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& changes) {
    std::map<std::string, std::string, NoCaseLess> vars;
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* p = block; *p; p += lstrlenA(p) + 1) {
            std::string entry = p;
            // Entries such as "=C:=C:\" keep their leading "=" in the name.
            size_t eq = entry.find('=', 1);
            if (eq != std::string::npos)
                vars[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        FreeEnvironmentStringsA(block);
    }
    for (const auto& [name, value] : changes)
        vars[name] = value;
    std::string out;
    for (const auto& [name, value] : vars) {
        out += name + "=" + value;
        out += '\0';
    }
    out += '\0';
    return out;
}

struct TopLevelSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    auto search = reinterpret_cast<TopLevelSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM param) {
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

bool IsIconStatic(HWND window) {
    LONG style = GetWindowLongA(window, GWL_STYLE);
    return (style & SS_TYPEMASK) == SS_ICON;
}

} // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(PollMs);
    }
}

std::string Text(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs,
                             &length))
        return std::string();
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, SendTimeoutMs, &copied))
        return std::string();
    text.resize(std::min<size_t>(copied, length));
    return text;
}

std::string ClassOf(HWND window) {
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> Descendants(HWND root) {
    std::vector<HWND> out;
    EnumChildWindows(root, CollectChild, reinterpret_cast<LPARAM>(&out));
    return out;
}

HWND FindById(HWND root, int id) {
    for (HWND child : Descendants(root))
        if (GetDlgCtrlID(child) == id)
            return child;
    return nullptr;
}

bool Checked(HWND button) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &state);
    return state == BST_CHECKED;
}

bool Enabled(HWND window) {
    return IsWindowEnabled(window) != FALSE;
}

void Click(HWND button) {
    PostMessageA(button, BM_CLICK, 0, 0);
}

void PostKey(HWND window, UINT virtualKey) {
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(window, WM_KEYDOWN, virtualKey, scan | 1);
    PostMessageA(window, WM_KEYUP, virtualKey, scan | 1 | (1u << 30) | (1u << 31));
}

MessageDialog ReadMessageDialog(HWND dialog) {
    MessageDialog out;
    out.window = dialog;
    out.title = Text(dialog);
    std::vector<std::pair<LONG, std::string>> buttons;
    for (HWND child : Descendants(dialog)) {
        if (!IsWindowVisible(child))
            continue;
        std::string kind = ClassOf(child);
        if (lstrcmpiA(kind.c_str(), "Button") == 0) {
            RECT rect;
            GetWindowRect(child, &rect);
            buttons.emplace_back(rect.left, Text(child));
        } else if (lstrcmpiA(kind.c_str(), "Static") == 0 && !IsIconStatic(child)) {
            std::string text = Text(child);
            if (!text.empty())
                out.text += out.text.empty() ? text : "\n" + text;
        }
    }
    std::stable_sort(buttons.begin(), buttons.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& button : buttons)
        out.buttons.push_back(std::move(button.second));
    return out;
}

bool PressButton(HWND dialog, const std::string& caption) {
    for (HWND child : Descendants(dialog)) {
        if (lstrcmpiA(ClassOf(child).c_str(), "Button") == 0 && IsWindowVisible(child) &&
            Text(child) == caption) {
            Click(child);
            return true;
        }
    }
    return false;
}

Program::~Program() {
    Kill();
}

bool Program::Start(const std::string& exe,
                    const std::vector<std::pair<std::string, std::string>>& environment) {
    Kill();
    error_.clear();
    job_.reset(CreateJobObjectA(nullptr, nullptr));
    if (!job_) {
        error_ = "CreateJobObject failed";
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!SetInformationJobObject(job_.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        error_ = "SetInformationJobObject failed";
        return false;
    }
    std::string block = EnvironmentBlock(environment);
    std::string commandLine = "\"" + exe + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        block.data(), nullptr, &startup, &info)) {
        error_ = "cannot start " + exe + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    process_.reset(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    processId_ = info.dwProcessId;
    threadId_ = info.dwThreadId;
    // In the job before it runs a single instruction, so it cannot outlive us.
    if (!AssignProcessToJobObject(job_.get(), process_.get())) {
        error_ = "AssignProcessToJobObject failed";
        Kill();
        return false;
    }
    ResumeThread(thread.get());
    return true;
}

std::vector<HWND> Program::TopLevelWindows() const {
    TopLevelSearch search{processId_, {}};
    if (processId_)
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND Program::WaitForWindow(const std::function<bool(HWND)>& match, DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND window : TopLevelWindows()) {
                if (match(window)) {
                    found = window;
                    return true;
                }
            }
            return !Running();
        },
        timeoutMs);
    return found;
}

HWND Program::WaitForTitle(const std::string& title, DWORD timeoutMs) const {
    return WaitForWindow([&](HWND window) { return Text(window) == title; }, timeoutMs);
}

HWND Program::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!threadId_ || !GetGUIThreadInfo(threadId_, &info))
        return nullptr;
    return info.hwndFocus;
}

bool Program::Running() const {
    return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

bool Program::WaitForExit(DWORD timeoutMs, DWORD& exitCode) const {
    if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(process_.get(), &exitCode) != FALSE;
}

void Program::Kill() {
    if (Running()) {
        TerminateProcess(process_.get(), 255);
        WaitForSingleObject(process_.get(), ReactTimeoutMs);
    }
    process_.reset();
    job_.reset();
    processId_ = 0;
    threadId_ = 0;
}

std::string ExecutableFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string out(path, n);
    size_t cut = out.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : out.substr(0, cut + 1);
}

} // namespace gui
