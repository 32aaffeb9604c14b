// Recording stand-in for the programs Setup starts (the setup stub, MsiExec.Exe, the
// framework installer). Works under any file name: everything it needs sits beside
// it, named after its own path.
//   <own path>.calls     each command line is appended here, UTF-8, one CR LF line
//   <own path>.sleep     milliseconds to wait before exiting (optional)
//   <own path>.exitcode  signed decimal exit code (0 when absent)
// A GUI-subsystem program, so that starting it never opens a console window.
#include <windows.h>
#include <strsafe.h>

#include <cstdlib>

namespace {

const DWORD kPathChars = 32768;

// Small sidecar files only: the first bytes, zero-terminated.
bool ReadSmallFile(const wchar_t* path, char* text, DWORD size)
{
    text[0] = 0;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD got = 0;
    BOOL ok = ReadFile(file, text, size - 1, &got, nullptr);
    CloseHandle(file);
    text[ok ? got : 0] = 0;
    return ok != FALSE;
}

bool SidecarPath(const wchar_t* self, const wchar_t* suffix, wchar_t* path)
{
    return SUCCEEDED(StringCchCopyW(path, kPathChars, self)) && SUCCEEDED(StringCchCatW(path, kPathChars, suffix));
}

void AppendCall(const wchar_t* path)
{
    const wchar_t* line = GetCommandLineW();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    // bytes counts the terminator; its place takes CR, one more for LF.
    char* text = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(bytes) + 1));
    if (!text)
        return;
    WideCharToMultiByte(CP_UTF8, 0, line, -1, text, bytes, nullptr, nullptr);
    text[bytes - 1] = '\r';
    text[bytes] = '\n';
    // Stubs started one after the other may still be closing the file: retry briefly.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(bytes) + 1, &written, nullptr);
        CloseHandle(file);
    }
    HeapFree(GetProcessHeap(), 0, text);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    static wchar_t self[kPathChars];
    static wchar_t sidecar[kPathChars];
    DWORD n = GetModuleFileNameW(nullptr, self, kPathChars);
    if (n == 0 || n >= kPathChars)
        return 1;

    if (SidecarPath(self, L".calls", sidecar))
        AppendCall(sidecar);

    char text[64];
    if (SidecarPath(self, L".sleep", sidecar) && ReadSmallFile(sidecar, text, sizeof(text)))
        Sleep(static_cast<DWORD>(std::strtoul(text, nullptr, 10)));

    long code = 0;
    if (SidecarPath(self, L".exitcode", sidecar) && ReadSmallFile(sidecar, text, sizeof(text)))
        code = std::strtol(text, nullptr, 10);
    return static_cast<int>(code);
}
