// Test host: loads VerBridge.dll from its own folder and asks it for one market
// file's version, as Setup does, but as a console program whose standard output a
// test can read.
//
// usage: verbridge_host [--sta | --mta] [--no-stdout | --closed-stdout | --console] <market file>
//   --sta, --mta     initialise COM in this apartment first (default: not at all)
//   --no-stdout      the library finds no standard output handle
//   --closed-stdout  the standard output handle is closed before the call
//   --console        the library writes to a console of the host's own; afterwards
//                    the host copies the console's text, line by line in UTF-8, to
//                    the standard output it was started with
// Exit code: 0 when a version came back, 1 when none, 2 when the library or its
// export is missing, 3 on a usage error.
#include <windows.h>
#include <objbase.h>
#include <strsafe.h>

#include <cwchar>

namespace {

using GetVersionFn = void(WINAPI*)(const wchar_t*, wchar_t*);

int Query(const wchar_t* path)
{
    wchar_t module[MAX_PATH] = L"";
    DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return 2;
    wchar_t* slash = std::wcsrchr(module, L'\\');
    if (slash == nullptr ||
        FAILED(StringCchCopyW(slash + 1, MAX_PATH - static_cast<size_t>(slash + 1 - module), L"VerBridge.dll")))
        return 2;

    HMODULE library = LoadLibraryW(module);
    if (library == nullptr)
        return 2;
    int result = 2;
    GetVersionFn getVersion =
        reinterpret_cast<GetVersionFn>(reinterpret_cast<void*>(GetProcAddress(library, "GetVersion")));
    if (getVersion != nullptr) {
        wchar_t version[1024] = {};
        getVersion(path, version);
        result = version[0] != L'\0' ? 0 : 1;
    }
    FreeLibrary(library);
    return result;
}

// A console of our own, wide enough that no trace line wraps.
bool OpenOwnConsole()
{
    FreeConsole();
    if (!AllocConsole())
        return false;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE)
        return false;
    COORD size = {400, 50};
    SetConsoleScreenBufferSize(console, size);
    SetStdHandle(STD_OUTPUT_HANDLE, console);
    return true;
}

void CopyConsoleText(HANDLE to)
{
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(console, &info))
        return;
    static wchar_t row[1024];
    static char bytes[4096];
    const SHORT width = info.dwSize.X < 1024 ? info.dwSize.X : 1024;
    for (SHORT y = 0; y < info.dwCursorPosition.Y; ++y) {
        COORD start = {0, y};
        DWORD read = 0;
        if (!ReadConsoleOutputCharacterW(console, row, static_cast<DWORD>(width), start, &read))
            return;
        while (read > 0 && row[read - 1] == L' ')
            --read;
        row[read++] = L'\r';
        row[read++] = L'\n';
        int length = WideCharToMultiByte(CP_UTF8, 0, row, static_cast<int>(read), bytes, sizeof(bytes), nullptr,
                                         nullptr);
        DWORD written = 0;
        WriteFile(to, bytes, static_cast<DWORD>(length), &written, nullptr);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    DWORD apartment = 0;
    bool comInit = false;
    const wchar_t* path = nullptr;
    bool ownConsole = false;
    const HANDLE startedWith = GetStdHandle(STD_OUTPUT_HANDLE);
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--sta") == 0) {
            apartment = COINIT_APARTMENTTHREADED;
            comInit = true;
        } else if (std::wcscmp(argv[i], L"--mta") == 0) {
            apartment = COINIT_MULTITHREADED;
            comInit = true;
        } else if (std::wcscmp(argv[i], L"--no-stdout") == 0) {
            SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        } else if (std::wcscmp(argv[i], L"--closed-stdout") == 0) {
            CloseHandle(GetStdHandle(STD_OUTPUT_HANDLE));
        } else if (std::wcscmp(argv[i], L"--console") == 0) {
            ownConsole = true;
        } else if (path == nullptr) {
            path = argv[i];
        } else {
            return 3;
        }
    }
    if (path == nullptr)
        return 3;

    if (ownConsole && !OpenOwnConsole())
        return 3;
    if (comInit && FAILED(CoInitializeEx(nullptr, apartment)))
        return 3;
    int result = Query(path);
    if (comInit)
        CoUninitialize();
    if (ownConsole)
        CopyConsoleText(startedWith);
    return result;
}
