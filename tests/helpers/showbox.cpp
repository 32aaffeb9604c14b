// Test program for the box watcher: shows message boxes from its arguments, one after
// the other, and exits with the buttons pressed.
//   showbox.exe <caption> <text> <flags> [<caption> <text> <flags>]...
// <flags> is the MessageBoxW style, decimal or 0x hex; "\n" in <text> is a line break.
// Exit code: the button ids as base-100 digits, first box first (one box: its id;
// Yes then No: 607). A box that could not be shown counts as 0.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        return -1;
    int result = 0;
    if (argc < 4 || (argc - 1) % 3 != 0)
        result = -1;
    for (int i = 1; result >= 0 && i + 2 < argc; i += 3) {
        std::wstring text;
        for (const wchar_t* p = argv[i + 1]; *p; ++p) {
            if (p[0] == L'\\' && p[1] == L'n') {
                text += L'\n';
                ++p;
            } else {
                text += *p;
            }
        }
        UINT flags = static_cast<UINT>(std::wcstoul(argv[i + 2], nullptr, 0));
        result = result * 100 + MessageBoxW(nullptr, text.c_str(), argv[i], flags);
    }
    LocalFree(argv);
    return result;
}
