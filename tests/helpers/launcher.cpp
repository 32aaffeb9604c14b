// Command-line front of the box watcher, for people and shell scripts:
//   launcher.exe [--press ID]... [--timeout MS] [--env NAME=VALUE]... -- <program> [<arg>]...
// ID is a number or one of OK CANCEL ABORT RETRY IGNORE YES NO TRYAGAIN CONTINUE.
// Prints "box: <caption> | <text> | <button>,<button>" per box (line breaks in the
// text as \n) and "exit code: <signed decimal>", since Wine hands a shell only the low
// 8 bits of an exit code. Exits 0 when the program ran, 1 when it could not be started
// or timed out, 2 on a usage error.
#include "TestSupport.h"

#include <cwchar>
#include <string>

namespace {

void Print(const std::string& utf8)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE)
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

void PrintLine(const std::wstring& text)
{
    Print(testsupport::Narrow(text) + "\n");
}

int Usage(const std::wstring& problem)
{
    PrintLine(problem);
    PrintLine(L"usage: launcher.exe [--press ID]... [--timeout MS] [--env NAME=VALUE]... -- <program> [<arg>]...");
    return 2;
}

// Quoted so that the program's argument parser gives back exactly this argument.
std::wstring Quote(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

bool ParseNumber(const wchar_t* text, unsigned long& value)
{
    wchar_t* end = nullptr;
    value = std::wcstoul(text, &end, 10);
    return *text != 0 && end != nullptr && *end == 0;
}

bool ParseButton(const wchar_t* text, int& id)
{
    static const struct { const wchar_t* name; int id; } names[] = {
        { L"OK", IDOK }, { L"CANCEL", IDCANCEL }, { L"ABORT", IDABORT }, { L"RETRY", IDRETRY },
        { L"IGNORE", IDIGNORE }, { L"YES", IDYES }, { L"NO", IDNO }, { L"TRYAGAIN", IDTRYAGAIN },
        { L"CONTINUE", IDCONTINUE },
    };
    for (const auto& name : names) {
        if (lstrcmpiW(text, name.name) == 0) {
            id = name.id;
            return true;
        }
    }
    unsigned long value = 0;
    if (!ParseNumber(text, value) || value > 0xFFFF)
        return false;
    id = static_cast<int>(value);
    return true;
}

std::wstring OneLine(const std::wstring& text)
{
    std::wstring line;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')
            continue;
        if (text[i] == L'\r' || text[i] == L'\n')
            line += L"\\n";
        else
            line += text[i];
    }
    return line;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    testsupport::LaunchOptions options;
    int i = 1;
    for (; i < argc; ++i) {
        std::wstring option = argv[i];
        if (option == L"--")
            break;
        if (i + 1 >= argc)
            return Usage(L"missing value after " + option);
        const wchar_t* value = argv[++i];
        if (option == L"--press") {
            int id = 0;
            if (!ParseButton(value, id))
                return Usage(L"not a button: " + std::wstring(value));
            options.answers.push_back(id);
        } else if (option == L"--timeout") {
            unsigned long ms = 0;
            if (!ParseNumber(value, ms))
                return Usage(L"not a number of milliseconds: " + std::wstring(value));
            options.timeoutMs = static_cast<DWORD>(ms);
        } else if (option == L"--env") {
            std::wstring assignment = value;
            size_t equals = assignment.find(L'=');
            if (equals == std::wstring::npos || equals == 0)
                return Usage(L"not NAME=VALUE: " + assignment);
            options.env.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        } else {
            return Usage(L"unknown option " + option);
        }
    }
    if (i + 1 >= argc)
        return Usage(L"no program given after --");

    std::wstring commandLine;
    for (int k = i + 1; k < argc; ++k) {
        if (!commandLine.empty())
            commandLine += L' ';
        commandLine += Quote(argv[k]);
    }

    testsupport::LaunchResult result = testsupport::LaunchAndWatch(commandLine, options);
    if (!result.started) {
        PrintLine(L"could not start: " + commandLine + L" (error " + std::to_wstring(result.startError) + L")");
        return 1;
    }
    for (const testsupport::Box& box : result.boxes) {
        std::wstring buttons;
        for (const std::wstring& button : box.buttons)
            buttons += (buttons.empty() ? L"" : L",") + button;
        PrintLine(L"box: " + OneLine(box.caption) + L" | " + OneLine(box.text) + L" | " + buttons);
    }
    if (result.timedOut) {
        PrintLine(L"timed out after " + std::to_wstring(options.timeoutMs) + L" ms");
        return 1;
    }
    PrintLine(L"exit code: " + std::to_wstring(result.exitCode));
    return 0;
}
