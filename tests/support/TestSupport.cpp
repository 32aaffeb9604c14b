#include "TestSupport.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <stdexcept>

namespace testsupport {

namespace {

// Closes a kernel handle on every path out of a scope.
class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : m_h(h) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE h = nullptr)
    {
        if (Valid())
            CloseHandle(m_h);
        m_h = h;
    }
private:
    HANDLE m_h;
};

std::wstring WithBackslash(std::wstring path)
{
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

std::wstring Backslashed(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

std::wstring EnvVar(const wchar_t* name)
{
    std::vector<wchar_t> buffer(256);
    for (;;) {
        DWORD n = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size())
            return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);
    }
}

std::wstring TempRoot()
{
    wchar_t buffer[MAX_PATH + 2] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH + 1)
        throw std::runtime_error("GetTempPathW failed");
    return WithBackslash(buffer);
}

std::wstring ErrorText(DWORD code)
{
    wchar_t buffer[512] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                             buffer, ARRAYSIZE(buffer), nullptr);
    while (n > 0 && (buffer[n - 1] == L'\r' || buffer[n - 1] == L'\n' || buffer[n - 1] == L' '))
        buffer[--n] = 0;
    return std::wstring(buffer, n) + L" (" + std::to_wstring(code) + L")";
}

bool CreateFolders(const std::wstring& folder);

[[noreturn]] void Fail(const std::wstring& what)
{
    throw std::runtime_error(Narrow(what + L": " + ErrorText(GetLastError())));
}

void CopyOrThrow(const std::wstring& from, const std::wstring& to)
{
    size_t slash = to.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 0 && !CreateFolders(to.substr(0, slash)))
        Fail(L"cannot create the folder of " + to);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
        Fail(L"cannot copy " + from + L" to " + to);
}

bool CreateFolders(const std::wstring& folder)
{
    // Skip the root ("C:\" or "\\server\share\"), then create each level in turn.
    size_t start = 0;
    if (folder.size() >= 2 && folder[1] == L':')
        start = 3;
    else if (folder.compare(0, 2, L"\\\\") == 0) {
        size_t share = folder.find(L'\\', 2);
        start = share == std::wstring::npos ? folder.size() : folder.find(L'\\', share + 1);
        if (start == std::wstring::npos)
            return true;
    }
    for (size_t pos = start; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != L'\\')
            continue;
        std::wstring level = folder.substr(0, pos);
        if (level.empty() || level.back() == L':' || level.back() == L'\\')
            continue;
        if (!CreateDirectoryW(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DeleteTreeOnce(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return DeleteFileW(path.c_str()) != FALSE;

    std::wstring folder = WithBackslash(path);
    bool ok = true;
    WIN32_FIND_DATAW found = {};
    HANDLE find = FindFirstFileW((folder + L"*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (wcscmp(found.cFileName, L".") == 0 || wcscmp(found.cFileName, L"..") == 0)
                continue;
            ok = DeleteTreeOnce(folder + found.cFileName) && ok;
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return RemoveDirectoryW(path.c_str()) != FALSE && ok;
}

// ---- Watching message boxes ---------------------------------------------------

std::wstring WindowText(HWND window)
{
    // WM_GETTEXT is marshalled across processes for standard controls.
    int length = GetWindowTextLengthW(window);
    if (length <= 0)
        return std::wstring();
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int n = GetWindowTextW(window, buffer.data(), length + 1);
    return std::wstring(buffer.data(), n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    int n = GetClassNameW(window, name, ARRAYSIZE(name));
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

// "&Yes" is shown as "Yes"; "&&" is a literal ampersand.
std::wstring WithoutMnemonic(const std::wstring& text)
{
    std::wstring plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size())
            ++i;
        else if (text[i] == L'&')
            continue;
        plain += text[i];
    }
    return plain;
}

// Lambdas cannot be callbacks here: on x86 they would not be stdcall.
BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&children));
    return children;
}

// 32-bit top-down pixels of a w x h area, drawn by the given function.
template <typename Draw>
std::vector<DWORD> Pixels(int w, int h, Draw draw)
{
    std::vector<DWORD> pixels;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return pixels;
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (draw(memory, screen)) {
            GdiFlush();
            const DWORD* p = static_cast<const DWORD*>(bits);
            pixels.assign(p, p + static_cast<size_t>(w) * h);
        }
        SelectObject(memory, old);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

bool Near(DWORD a, DWORD b)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 24 || d < -24)
            return false;
    }
    return true;
}

// An icon handle of another process cannot be examined from here, so the icon
// control's pixels on the screen are compared with the system icons drawn here
// on the same background.
UINT IconOf(HWND dialog)
{
    HWND iconControl = nullptr;
    for (HWND child : Children(dialog)) {
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_VISIBLE) && (style & SS_TYPEMASK) == SS_ICON && ClassOf(child) == L"Static") {
            iconControl = child;
            break;
        }
    }
    if (!iconControl)
        return 0;
    // Boxes of tests running side by side open at the same place: lift this one
    // above the others and let it repaint before looking at it.
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    Sleep(50);
    RECT rect = {};
    if (!GetWindowRect(iconControl, &rect))
        return 0;
    const int w = rect.right - rect.left, h = rect.bottom - rect.top;
    if (w <= 0 || h <= 0 || w > 256 || h > 256)
        return 0;
    std::vector<DWORD> shown = Pixels(w, h, [&](HDC memory, HDC screen) {
        return BitBlt(memory, 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY) != FALSE;
    });
    if (shown.empty())
        return 0;

    const struct { LPCWSTR id; UINT style; } candidates[] = {
        { IDI_HAND, MB_ICONERROR },
        { IDI_EXCLAMATION, MB_ICONWARNING },
        { IDI_ASTERISK, MB_ICONINFORMATION },
        { IDI_QUESTION, MB_ICONQUESTION },
    };
    const DWORD background = shown[0] & 0xFFFFFF;
    UINT best = 0;
    size_t bestDifferent = shown.size() / 10 + 1;  // more than 10 % off is no match
    for (const auto& candidate : candidates) {
        HICON icon = LoadIconW(nullptr, candidate.id);  // shared: not destroyed
        if (!icon)
            continue;
        std::vector<DWORD> drawn = Pixels(w, h, [&](HDC memory, HDC) {
            HBRUSH brush = CreateSolidBrush(RGB(GetBValue(background), GetGValue(background), GetRValue(background)));
            if (!brush)
                return false;
            RECT all = { 0, 0, w, h };
            FillRect(memory, &all, brush);
            DeleteObject(brush);
            return DrawIconEx(memory, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL) != FALSE;
        });
        if (drawn.size() != shown.size())
            continue;
        size_t different = 0;
        for (size_t i = 0; i < shown.size(); ++i)
            different += Near(shown[i], drawn[i]) ? 0 : 1;
        if (different < bestDifferent) {
            bestDifferent = different;
            best = candidate.style;
        }
    }
    return best;
}

Box ReadBox(HWND dialog)
{
    Box box;
    box.caption = WindowText(dialog);
    HWND message = GetDlgItem(dialog, 0xFFFF);
    if (message)
        box.text = WindowText(message);
    for (HWND child : Children(dialog)) {
        if (GetParent(child) != dialog)
            continue;
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (!(style & WS_VISIBLE))
            continue;
        std::wstring cls = ClassOf(child);
        if (cls == L"Button") {
            box.buttons.push_back(WithoutMnemonic(WindowText(child)));
            box.buttonIds.push_back(GetDlgCtrlID(child));
        } else if (!message && cls == L"Static" && (style & SS_TYPEMASK) != SS_ICON && box.text.empty()) {
            box.text = WindowText(child);
        }
    }
    box.icon = IconOf(dialog);
    return box;
}

struct Seen {
    DWORD visibleSince = 0;
    bool recorded = false;
    int answer = 0;
    DWORD lastPress = 0;
};

struct DialogSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->pid && ClassOf(window) == L"#32770")
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> DialogsOf(DWORD pid)
{
    DialogSearch search = { pid, {} };
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Press(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// The child's environment: ours with the given variables set or replaced.
std::vector<wchar_t> EnvironmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& changes)
{
    std::vector<std::wstring> entries;
    LPWCH current = GetEnvironmentStringsW();
    if (current) {
        for (const wchar_t* p = current; *p; p += wcslen(p) + 1)
            entries.emplace_back(p);
        FreeEnvironmentStringsW(current);
    }
    for (const auto& change : changes) {
        std::wstring prefix = change.first + L"=";
        auto same = std::find_if(entries.begin(), entries.end(), [&](const std::wstring& entry) {
            // "=C:=C:\..." entries start with '=' and never match a name.
            return entry.size() >= prefix.size() &&
                   CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, entry.c_str(), static_cast<int>(prefix.size()),
                                  prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL;
        });
        if (same != entries.end())
            *same = prefix + change.second;
        else
            entries.push_back(prefix + change.second);
    }
    std::vector<wchar_t> block;
    for (const auto& entry : entries) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(0);
    }
    block.push_back(0);
    if (entries.empty())
        block.push_back(0);
    return block;
}

bool IsDigits(const std::string& s, size_t from, size_t to)
{
    if (from >= to)
        return false;
    for (size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// One number of a stamp at pos, ending at the given separator: no leading zero,
// within [low, high]. Moves pos past the separator.
bool StampNumber(const std::string& line, size_t& pos, const char* separator, int low, int high)
{
    size_t end = line.find(separator, pos);
    if (end == std::string::npos || end - pos > 2 || !IsDigits(line, pos, end))
        return false;
    if (end - pos == 2 && line[pos] == '0')
        return false;
    int value = std::atoi(line.substr(pos, end - pos).c_str());
    if (value < low || value > high)
        return false;
    pos = end + std::char_traits<char>::length(separator);
    return true;
}

}  // namespace

// ---- Paths and text -------------------------------------------------------------

std::wstring BinDir()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            return path.substr(0, path.find_last_of(L'\\') + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring TestDataDir()
{
    return WithBackslash(EnvVar(L"SETUP_TEST_DATA"));
}

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring text(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &text[0], n);
    return text;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string utf8(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

// ---- Files ----------------------------------------------------------------------

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    size_t slash = path.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash > 0 && !CreateFolders(path.substr(0, slash)))
        return false;
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return false;
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

std::string ReadBytes(const std::wstring& path)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
        return std::string();
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

bool DeleteTree(const std::wstring& path)
{
    std::wstring target = path;
    while (target.size() > 3 && target.back() == L'\\')
        target.pop_back();
    // A program that has just ended may keep its image open for a moment.
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (DeleteTreeOnce(target))
            return true;
        Sleep(50);
    }
    return GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES;
}

TempDir::TempDir(const std::wstring& prefix)
{
    static LONG counter = 0;
    std::wstring root = TempRoot();
    CreateFolders(root.substr(0, root.size() - 1));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring candidate = root + prefix + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                 std::to_wstring(InterlockedIncrement(&counter)) + L"_" +
                                 std::to_wstring(GetTickCount() % 100000);
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate + L"\\";
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            Fail(L"cannot create " + candidate);
    }
    throw std::runtime_error("no unique temporary folder");
}

TempDir::~TempDir()
{
    DeleteTree(m_path);
}

const std::wstring& TempDir::Path() const
{
    return m_path;
}

// ---- Running and watching -----------------------------------------------------------

LaunchResult LaunchAndWatch(const std::wstring& commandLine, const LaunchOptions& options)
{
    LaunchResult result;
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    std::vector<wchar_t> environment;
    if (!options.env.empty())
        environment = EnvironmentBlock(options.env);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup, &info)) {
        result.startError = GetLastError();
        return result;
    }
    result.started = true;
    Handle process(info.hProcess);
    Handle thread(info.hThread);

    const DWORD settle = 100;    // a box shown this long is fully built
    const DWORD repress = 1000;  // a press that did not close the box is repeated
    std::map<HWND, Seen> seen;
    size_t answered = 0;
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD wait = WaitForSingleObject(process.Get(), 50);
        if (wait == WAIT_OBJECT_0)
            break;
        if (wait == WAIT_FAILED)
            break;
        if (GetTickCount() - start >= options.timeoutMs) {
            result.timedOut = true;
            TerminateProcess(process.Get(), 1);
            WaitForSingleObject(process.Get(), 5000);
            break;
        }

        std::vector<HWND> dialogs = DialogsOf(info.dwProcessId);
        // Forget boxes that are gone, so that a reused handle counts as a new box.
        for (auto it = seen.begin(); it != seen.end();) {
            if (std::find(dialogs.begin(), dialogs.end(), it->first) == dialogs.end())
                it = seen.erase(it);
            else
                ++it;
        }
        const DWORD now = GetTickCount();
        for (HWND dialog : dialogs) {
            if (!IsWindowVisible(dialog))
                continue;
            Seen& state = seen[dialog];
            if (state.visibleSince == 0) {
                state.visibleSince = now ? now : 1;
                continue;
            }
            if (!state.recorded) {
                if (now - state.visibleSince < settle)
                    continue;
                Box box = ReadBox(dialog);
                state.recorded = true;
                if (answered < options.answers.size())
                    state.answer = options.answers[answered];
                else
                    state.answer = box.buttonIds.empty() ? IDOK : box.buttonIds.front();
                ++answered;
                result.boxes.push_back(std::move(box));
                Press(dialog, state.answer);
                state.lastPress = now;
            } else if (now - state.lastPress >= repress) {
                Press(dialog, state.answer);
                state.lastPress = now;
            }
        }
    }
    DWORD code = 0;
    if (GetExitCodeProcess(process.Get(), &code))
        result.exitCode = static_cast<long>(static_cast<LONG>(code));
    return result;
}

// ---- Logs --------------------------------------------------------------------------

std::vector<std::string> ReadLogLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::string bytes = ReadBytes(path);
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(bytes.substr(pos));
            break;
        }
        lines.push_back(bytes.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::string StripTimestamp(const std::string& line)
{
    size_t pos = 0;
    if (StampNumber(line, pos, "/", 1, 12) && StampNumber(line, pos, " ", 1, 31) &&
        StampNumber(line, pos, ":", 0, 23) && StampNumber(line, pos, ":", 0, 59) &&
        StampNumber(line, pos, "  ", 0, 59))
        return line.substr(pos);
    return "!bad stamp: " + line;
}

// ---- Media -----------------------------------------------------------------------------

Medium::Medium(bool pathWithSpaces) : m_root(L"m")
{
    m_dir = m_root.Path() + (pathWithSpaces ? L"Corvia Medium 1\\" : L"medium\\");
    if (!CreateFolders(m_dir.substr(0, m_dir.size() - 1)) || !CreateFolders(m_root.Path() + L"tmp"))
        Fail(L"cannot create " + m_dir);
    CopyOrThrow(BinDir() + L"Setup.exe", SetupPath());
    CopyOrThrow(BinDir() + L"VerBridge.dll", m_dir + L"VerBridge.dll");
}

const std::wstring& Medium::Dir() const
{
    return m_dir;
}

std::wstring Medium::SetupPath() const
{
    return m_dir + L"Setup.exe";
}

std::wstring Medium::TempPath() const
{
    return m_root.Path() + L"tmp\\";
}

std::wstring Medium::LogPath() const
{
    return TempPath() + L"PatchInstaller.Log";
}

std::wstring Medium::Full(const std::wstring& rel) const
{
    return m_dir + Backslashed(rel);
}

void Medium::MakeDir(const std::wstring& rel)
{
    std::wstring folder = Full(rel);
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    if (!CreateFolders(folder))
        Fail(L"cannot create " + folder);
}

void Medium::Write(const std::wstring& rel, const std::string& bytes)
{
    if (!WriteBytes(Full(rel), bytes))
        Fail(L"cannot write " + Full(rel));
}

void Medium::CopyIn(const std::wstring& sourcePath, const std::wstring& rel)
{
    CopyOrThrow(sourcePath, Full(rel));
}

void Medium::AddStub(const std::wstring& rel, long exitCode, DWORD sleepMs)
{
    std::wstring path = Full(rel);
    CopyOrThrow(BinDir() + L"stub.exe", path);
    Write(rel + L".exitcode", std::to_string(exitCode));
    if (sleepMs > 0)
        Write(rel + L".sleep", std::to_string(sleepMs));
    else if (!DeleteTree(path + L".sleep"))
        Fail(L"cannot delete " + path + L".sleep");
    if (!DeleteTree(path + L".calls"))
        Fail(L"cannot delete " + path + L".calls");
}

std::vector<std::wstring> Medium::StubCalls(const std::wstring& rel) const
{
    std::vector<std::wstring> calls;
    for (const std::string& line : ReadLogLines(Full(rel) + L".calls"))
        calls.push_back(Widen(line));
    return calls;
}

LaunchResult Medium::Run(const std::wstring& args, LaunchOptions options) const
{
    // In front, so that the test's own TMP or TEMP wins.
    options.env.insert(options.env.begin(), { { L"TMP", TempPath() }, { L"TEMP", TempPath() } });
    std::wstring commandLine = L"\"" + SetupPath() + L"\"";
    if (!args.empty())
        commandLine += L" " + args;
    return LaunchAndWatch(commandLine, options);
}

std::vector<std::string> Medium::LogLines() const
{
    std::vector<std::string> lines = ReadLogLines(LogPath());
    for (std::string& line : lines)
        line = StripTimestamp(line);
    return lines;
}

// ---- Running programs ------------------------------------------------------------------

bool IsProcessRunning(const std::wstring& exeName, DWORD pid)
{
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid())
        return false;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (pid != 0 && entry.th32ProcessID != pid)
            continue;
        const wchar_t* name = wcsrchr(entry.szExeFile, L'\\');
        name = name ? name + 1 : entry.szExeFile;
        if (lstrcmpiW(name, exeName.c_str()) == 0)
            return true;
    }
    return false;
}

RunningProgram::RunningProgram(const std::wstring& exeName) : m_dir(L"r"), m_path(m_dir.Path() + exeName)
{
    CopyOrThrow(BinDir() + L"sleeper.exe", m_path);
    std::wstring commandLine = L"\"" + m_path + L"\"";
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail(L"cannot start " + m_path);
    CloseHandle(info.hThread);
    m_process = info.hProcess;
    m_pid = info.dwProcessId;
    // The name shows in a snapshot only once the process has initialised.
    for (int attempt = 0; attempt < 200 && !IsProcessRunning(exeName, m_pid); ++attempt)
        Sleep(25);
}

RunningProgram::~RunningProgram()
{
    if (m_process) {
        TerminateProcess(m_process, 0);
        WaitForSingleObject(m_process, 10000);
        CloseHandle(m_process);
    }
}

DWORD RunningProgram::ProcessId() const
{
    return m_pid;
}

const std::wstring& RunningProgram::Path() const
{
    return m_path;
}

}  // namespace testsupport
