#include "tests/support/support.h"

#include "resources/resource.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <utility>

static HANDLE testJob = nullptr;  // made by EnterJob()

Process::Process(const std::string& path, const std::string& arguments)
{
    std::string commandLine = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        CloseHandle(info.hThread);
        handle_ = info.hProcess;
        id_ = info.dwProcessId;
    }
}

Process::Process(DWORD id)
    : handle_(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, 0, id)), id_(id) {}
Process::Process(Process&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)), id_(other.id_) {}

Process& Process::operator=(Process&& other) noexcept
{
    End();
    handle_ = std::exchange(other.handle_, nullptr);
    id_ = other.id_;
    return *this;
}

bool Process::Running() const { return handle_ != nullptr && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT; }

long Process::Wait(DWORD timeoutMs) const
{
    DWORD code = 0;
    bool ended = handle_ != nullptr && WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0;
    return ended && GetExitCodeProcess(handle_, &code) ? long(code) : -1;
}

void Process::End()
{
    if (Running() && TerminateProcess(handle_, 99))
        WaitForSingleObject(handle_, 5000);
    if (handle_ != nullptr)
        CloseHandle(std::exchange(handle_, nullptr));
}

bool EnterJob()
{
    testJob = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return SetInformationJobObject(testJob, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
           AssignProcessToJobObject(testJob, GetCurrentProcess());
}

std::vector<std::string> JobProcesses(bool end)
{
    // Wine does not list a job's processes: ask each process whether it is in ours.
    // Not explorer.exe: in a virtual desktop (./dev run) Wine starts the desktop's
    // own as a child of the first program that opens a window there.
    std::vector<std::string> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {sizeof entry};
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, 0, entry.th32ProcessID);
        BOOL inJob = FALSE;
        if (entry.th32ProcessID != GetCurrentProcessId() && lstrcmpiA(entry.szExeFile, "explorer.exe") != 0 &&
            IsProcessInJob(process, testJob, &inJob) && inJob &&
            WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
            found.push_back(entry.szExeFile + (" (" + std::to_string(entry.th32ProcessID) + ")"));
            if (end)
                Process(entry.th32ProcessID).End();
        }
        CloseHandle(process);
    }
    CloseHandle(snapshot);
    return found;
}

std::string BuildPath(const std::string& relative)
{
    std::string path = BUILD_DIR_WINDOWS "\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string ScratchFolder()
{
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string folder = temp + ("lvtest-" + std::to_string(GetCurrentProcessId()));
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    return bool(std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size())));
}

void RemoveTree(const std::string& path)
{
    std::string from = path + '\0';  // a list of one path, ended by two NULs
    SHFILEOPSTRUCTA operation = {nullptr, FO_DELETE, from.c_str(), nullptr, FOF_NO_UI};
    if (FileExists(path))
        SHFileOperationA(&operation);
}

std::set<std::string> Files(const std::string& pattern)
{
    const std::string folder = pattern.substr(0, pattern.rfind('\\') + 1);
    std::set<std::string> found;
    WIN32_FIND_DATAA file;
    HANDLE search = FindFirstFileA(pattern.c_str(), &file);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileA(search, &file))
        found.insert(folder + file.cFileName);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    return found;
}

const char kUninstallRoot[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VEK_LumovaraRemote";
std::string Sz(const std::string& text) { return text + '\0'; }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

RegistryValue ReadRegistryValue(const std::string& key, const std::string& name)
{
    RegistryValue value;
    char bytes[4096];
    DWORD size = sizeof bytes;
    value.exists = RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &value.type,
                                bytes, &size) == ERROR_SUCCESS;
    value.bytes.assign(bytes, value.exists ? size : 0);
    return value;
}

RegistryValue EntryValue(const std::string& name) { return ReadRegistryValue(kUninstallKey, name); }

bool WriteRegistryValue(const std::string& key, const std::string& name, DWORD type, const std::string& bytes)
{
    const DWORD size = DWORD(bytes.size());
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), name.c_str(), type, bytes.data(), size) == ERROR_SUCCESS;
}

bool RegistryKeyExists(const std::string& key)
{
    HKEY opened;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) == ERROR_SUCCESS &&
           RegCloseKey(opened) == ERROR_SUCCESS;
}

void DeleteRegistryTree(const std::string& key)
{
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

const InstallationPaths& Installation()
{
    static const InstallationPaths paths = [] {
        auto folder = [](int csidl) {
            char path[MAX_PATH] = {};
            SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
            return std::string(path);
        };
        const std::string link = "\\VEK Lumovara Remote.lnk", userVek = folder(CSIDL_PROGRAMS) + "\\VEK";
        const std::string directory = folder(CSIDL_PROGRAM_FILES) + "\\VEK\\LumovaraRemote";
        const std::string commonVek = folder(CSIDL_COMMON_PROGRAMS) + "\\VEK";
        return InstallationPaths{folder(CSIDL_PROGRAM_FILES), directory, directory + "\\LumovaraRemote.exe",
                                 directory + "\\LumovaraRemote.chm", directory + "\\Uninstall.exe", commonVek, userVek,
                                 commonVek + link, userVek + link, folder(CSIDL_COMMON_DESKTOPDIRECTORY) + link,
                                 folder(CSIDL_DESKTOPDIRECTORY) + link};
    }();
    return paths;
}

void RemoveInstallation()
{
    const InstallationPaths& paths = Installation();
    for (const std::string& path : {paths.programFiles + "\\VEK", paths.commonStartMenuFolder,
                                    paths.userStartMenuFolder, paths.commonDesktopLink, paths.userDesktopLink})
        RemoveTree(path);
    DeleteRegistryTree(kUninstallKey);
}

ShellLink ReadShellLink(const std::string& path)
{
    ShellLink info;
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IShellLinkA* link = nullptr;
    IPersistFile* file = nullptr;
    char target[MAX_PATH] = {}, description[MAX_PATH] = {}, arguments[MAX_PATH] = {};
    wchar_t widePath[MAX_PATH] = {};
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, widePath, MAX_PATH) &&
        SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, (void**)&link)) &&
        SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file)) && SUCCEEDED(file->Load(widePath, 0)))
        info = {SUCCEEDED(link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
                    SUCCEEDED(link->GetDescription(description, MAX_PATH)) &&
                    SUCCEEDED(link->GetArguments(arguments, MAX_PATH)),
                target, description, arguments};
    for (IUnknown* object : {static_cast<IUnknown*>(file), static_cast<IUnknown*>(link)})
        if (object != nullptr)
            object->Release();
    if (SUCCEEDED(com))
        CoUninitialize();
    return info;
}

static std::vector<HWND> VisibleWindows(DWORD processId, const char* className)
{
    std::vector<HWND> found;
    for (HWND window = nullptr; (window = FindWindowExA(nullptr, window, className, nullptr)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if ((processId == 0 || owner == processId) && IsWindowVisible(window))
            found.push_back(window);
    }
    return found;
}

bool ShowsWindow(DWORD processId) { return !VisibleWindows(processId, nullptr).empty(); }

std::string WindowText(HWND window)
{
    char text[8192] = {};
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, LPARAM(text), SMTO_ABORTIFHUNG, 5000, &copied);
    return std::string(text, copied);
}

std::string ControlText(HWND dialog, int controlId) { return WindowText(GetDlgItem(dialog, controlId)); }
bool ControlVisible(HWND dialog, int controlId)
{
    return GetWindowLongA(GetDlgItem(dialog, controlId), GWL_STYLE) & WS_VISIBLE;
}
bool ControlEnabled(HWND dialog, int controlId) { return IsWindowEnabled(GetDlgItem(dialog, controlId)); }

int CheckState(HWND dialog, int controlId)
{
    DWORD_PTR state = DWORD_PTR(-1);
    SendMessageTimeoutA(GetDlgItem(dialog, controlId), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
    return int(state);
}

bool Click(HWND dialog, int controlId) { return PostMessageA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0); }

bool Press(HWND dialog, int controlId, DWORD timeoutMs)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0, SMTO_NORMAL, timeoutMs, &result);
}

MessageBoxInfo FindMessageBox(DWORD processId)
{
    MessageBoxInfo box;
    for (HWND window : VisibleWindows(processId, "#32770"))
        if (GetDlgItem(window, 0xFFFF) != nullptr)  // a message box's text
            box = {window, WindowText(window), ControlText(window, 0xFFFF)};
    return box;
}

MessageBoxInfo WaitForMessageBox(DWORD processId, const std::string& text)
{
    MessageBoxInfo box;
    // Its text is set just after the box is made: a box is found once it shows some.
    const auto shows = [&] {
        return !(box = FindMessageBox(processId)).text.empty() && (text.empty() || box.text == text);
    };
    return WaitFor(shows) ? box : MessageBoxInfo{};
}

const char kUninstalled[] = "VEK Lumovara Remote has been uninstalled.";

bool Answer(const MessageBoxInfo& box, int buttonId)
{
    HWND button = GetDlgItem(box.window, buttonId);
    return button != nullptr && PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), LPARAM(button));
}

HWND WaitForWizard(DWORD processId, DWORD timeoutMs)
{
    HWND wizard = nullptr;
    WaitFor([&] {
        for (HWND window : VisibleWindows(processId, "#32770"))
            wizard = GetDlgItem(window, IDC_HEADING) != nullptr ? window : wizard;
        return wizard != nullptr;
    }, timeoutMs);
    return wizard;
}

RunningSetup StartSetup(const std::string& program)
{
    RunningSetup setup{Process(program)};
    const DWORD id = setup.process.id();
    WaitFor([&] { return (setup.box = FindMessageBox(id)).window || (setup.wizard = WaitForWizard(id, 0)); });
    return setup;
}

bool WalkToOptions(HWND wizard)
{
    return Press(wizard, IDOK) && Press(wizard, IDC_ACCEPT) && Press(wizard, IDOK) &&
           ControlVisible(wizard, IDC_START_MENU);
}

bool SetOption(HWND wizard, int controlId, bool checked)
{
    if ((CheckState(wizard, controlId) == BST_CHECKED) != checked)
        Press(wizard, controlId);
    return (CheckState(wizard, controlId) == BST_CHECKED) == checked;
}

bool OnFinishPage(HWND wizard) { return ControlEnabled(wizard, IDOK) && ControlText(wizard, IDOK) == "Finish"; }

MessageBoxInfo Install(const RunningSetup& setup)
{
    Click(setup.wizard, IDOK);  // posted: the handler runs the whole installation
    MessageBoxInfo box;
    WaitFor([&] {
        box = FindMessageBox(setup.process.id());
        return box.window || OnFinishPage(setup.wizard);
    });
    return box;
}

long Finish(RunningSetup& setup, bool startApplication)
{
    bool clicked = SetOption(setup.wizard, IDC_START_APP, startApplication) && Click(setup.wizard, IDOK);
    return clicked ? setup.process.Wait() : -1;
}

void Screenshot(HWND window, const std::string& name)
{
    RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);  // paints what is pending, in its owner
    RECT area = {};
    GetWindowRect(window, &area);
    const LONG width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFOHEADER header = {sizeof header, width, -height, 1, 32};
    auto grab = [&] {  // the window's part of the screen
        std::vector<DWORD> pixels(std::size_t(width) * height);
        HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
        SelectObject(memory, previous);
        GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return pixels;
    };
    // What the page really shows: every visible control that holds text has painted some, the inside of its
    // part of the picture more than one colour (a slow first run showed the licence box steady but empty).
    auto painted = [&](const std::vector<DWORD>& picture) {
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT box = {};  // inside the control's border
            if (!IsWindowVisible(child) || WindowText(child).empty() || !GetClientRect(child, &box))
                continue;
            MapWindowPoints(child, nullptr, reinterpret_cast<POINT*>(&box), 2);
            if (!IntersectRect(&box, &box, &area))
                continue;
            auto at = [&](LONG x, LONG y) { return picture[std::size_t(y - area.top) * width + (x - area.left)]; };
            bool oneColour = true;
            for (LONG y = box.top; y < box.bottom && oneColour; ++y)
                for (LONG x = box.left; x < box.right && oneColour; ++x)
                    oneColour = at(x, y) == at(box.left, box.top);
            if (oneColour)
                return false;
        }
        return true;
    };
    // What the owner painted reaches the screen in its own time: wait for two equal pictures in a row that show it.
    std::vector<DWORD> pixels = grab();
    WaitFor([&] { return std::exchange(pixels, grab()) == pixels && painted(pixels); }, kWaitMs);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof header, size = DWORD(pixels.size() * 4);
    const BITMAPFILEHEADER file = {0x4D42, offset + size, 0, 0, offset};  // "BM"
    if (const char* folder = std::getenv("SCREENSHOT_DIR"))  // a Unix path; Wine maps / to Z:
        std::ofstream(std::string("Z:") + folder + "/" + name + ".bmp", std::ios::binary)
            .write(reinterpret_cast<const char*>(&file), sizeof file)
            .write(reinterpret_cast<const char*>(&header), sizeof header)
            .write(reinterpret_cast<const char*>(pixels.data()), size);
}
