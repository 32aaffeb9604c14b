// What the library writes to standard output, seen from a host process whose
// output is a pipe, and a host that has no standard output at all.
#include "BridgeTestSupport.h"

#include <string>
#include <vector>

namespace bridgetest {
namespace {

struct HostRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;  // raw bytes from the pipe
};

std::wstring Quote(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

// Runs verbridge_host with arguments; its standard output goes to a pipe unless
// detached, in which case it gets no standard handles and no console.
HostRun RunHost(const std::wstring& arguments, bool detached = false)
{
    HostRun run;
    std::wstring commandLine = Quote(ProgramFolder() + L"verbridge_host.exe") + L" " + arguments;

    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    HANDLE nul = INVALID_HANDLE_VALUE;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!detached) {
        if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
            return run;
        SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
        nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = nul;
        startup.hStdOutput = writeEnd;
        startup.hStdError = nul;
    }
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    BOOL started = CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, detached ? FALSE : TRUE,
                                  detached ? DETACHED_PROCESS : 0, nullptr, nullptr, &startup, &process);
    if (writeEnd != nullptr)
        CloseHandle(writeEnd);
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    if (started) {
        if (readEnd != nullptr) {
            char chunk[4096];
            DWORD read = 0;
            while (ReadFile(readEnd, chunk, sizeof(chunk), &read, nullptr) && read > 0)
                run.output.append(chunk, read);
        }
        if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (readEnd != nullptr)
        CloseHandle(readEnd);
    return run;
}

// The output as lines. Every line must end in CR LF, and no line may hold a
// stray CR or LF (a path character that broke the line would show up here).
::testing::AssertionResult SplitLines(const std::string& output, std::vector<std::wstring>& lines)
{
    lines.clear();
    if (output.empty())
        return ::testing::AssertionSuccess();
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, output.data(), static_cast<int>(output.size()),
                                    nullptr, 0);
    if (units <= 0)
        return ::testing::AssertionFailure() << "output is not UTF-8";
    std::wstring text(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, output.data(), static_cast<int>(output.size()), &text[0], units);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos)
            return ::testing::AssertionFailure() << "last line does not end in CR LF: " << output;
        std::wstring line = text.substr(start, end - start);
        if (line.find_first_of(L"\r\n") != std::wstring::npos)
            return ::testing::AssertionFailure() << "broken line: " << Narrow(line);
        lines.push_back(line);
        start = end + 2;
    }
    return ::testing::AssertionSuccess();
}

std::string Show(const std::vector<std::wstring>& lines)
{
    std::string text;
    for (const std::wstring& line : lines)
        text += "  [" + Narrow(line) + "]\n";
    return text;
}

bool StartsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::vector<std::wstring> SuccessLines(const std::wstring& path, const wchar_t* major, const wchar_t* minor,
                                       const wchar_t* dataVersion)
{
    return {L"Decrypted " + path + L" file opened successfully",
            L"Instantiate DESCryptoServiceProvider & CryptoStream, decrypting " + path + L"...",
            std::wstring(L"Major=") + major,
            std::wstring(L"Minor=") + minor,
            std::wstring(L"DataVersion=") + dataVersion,
            L"Closing the decrypter stream..."};
}

const wchar_t* const kOpenFailure = L"Failed to open filestream with error: ";
const wchar_t* const kClosing = L"Closing the decrypter stream...";

TEST(TraceLines, SuccessTellsEachStepInOrder)
{
    REQUIRE_MARKET_FIXTURES();
    // A path with letters from outside every single code page must come out whole.
    TempFolder folder(L"verbridge-M\u00E4rkte-\u65E5\u672C");
    const std::wstring unicodePath = folder.Path() + L"D\u00E4nemark \u20AC \u0394.mkt";
    ASSERT_TRUE(CopyFileW(MarketFile(L"version_2_10_3").c_str(), unicodePath.c_str(), FALSE));

    for (const std::wstring& path : {MarketFile(L"version_2_10_3"), unicodePath}) {
        HostRun run = RunHost(Quote(path));
        EXPECT_EQ(0u, run.exitCode) << Narrow(path);
        std::vector<std::wstring> lines;
        ASSERT_TRUE(SplitLines(run.output, lines));
        EXPECT_EQ(SuccessLines(path, L"2", L"10", L"3"), lines) << Show(lines);
    }

    // The attribute values are written as they stand, blank included; a line feed
    // in a value shows as a blank rather than splitting the line.
    struct ValueCase {
        const wchar_t* file;
        const wchar_t* major;
        const wchar_t* minor;
        const wchar_t* dataVersion;
    };
    for (const ValueCase& c : {ValueCase{L"version_blank_major", L" 4", L"1", L"0"},
                               ValueCase{L"version_line_feed", L"1 2", L"0", L"5"}}) {
        HostRun run = RunHost(Quote(MarketFile(c.file)));
        std::vector<std::wstring> lines;
        ASSERT_TRUE(SplitLines(run.output, lines));
        EXPECT_EQ(SuccessLines(MarketFile(c.file), c.major, c.minor, c.dataVersion), lines) << Show(lines);
    }
}

TEST(TraceLines, ConsoleShowsEveryCharacterOfThePath)
{
    REQUIRE_MARKET_FIXTURES();
    // Letters from several code pages at once, each one console cell wide.
    TempFolder folder(L"verbridge-M\u00E4rkte");
    const std::wstring path = folder.Path() + L"D\u00E4nemark \u20AC \u0394\u0416.mkt";
    ASSERT_TRUE(CopyFileW(MarketFile(L"version_2_10_3").c_str(), path.c_str(), FALSE));

    HostRun run = RunHost(L"--console " + Quote(path));
    EXPECT_EQ(0u, run.exitCode);
    std::vector<std::wstring> lines;
    ASSERT_TRUE(SplitLines(run.output, lines));
    EXPECT_EQ(SuccessLines(path, L"2", L"10", L"3"), lines) << Show(lines);
}

TEST(TraceLines, UnopenableFileGivesTheErrorAndTheClosingLine)
{
    REQUIRE_MARKET_FIXTURES();
    TempFolder folder;
    const std::wstring locked = folder.Path() + L"DK.mkt";
    ASSERT_TRUE(CopyFileW(MarketFile(L"version_2_10_3").c_str(), locked.c_str(), FALSE));
    // Open for writing elsewhere: the library shares reading only, so it cannot open it.
    HANDLE writer = CreateFileW(locked.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);

    for (const std::wstring& path : {folder.Path() + L"missing.mkt", locked}) {
        HostRun run = RunHost(Quote(path));
        EXPECT_EQ(1u, run.exitCode);
        std::vector<std::wstring> lines;
        ASSERT_TRUE(SplitLines(run.output, lines));
        ASSERT_EQ(2u, lines.size()) << Show(lines);
        EXPECT_TRUE(StartsWith(lines[0], kOpenFailure)) << Show(lines);
        EXPECT_GT(lines[0].size(), std::wstring(kOpenFailure).size()) << "the error's own text is missing";
        EXPECT_EQ(kClosing, lines[1]);
    }
    CloseHandle(writer);
}

TEST(TraceLines, DecryptionFailureComesBetweenTheOpeningAndClosingLines)
{
    REQUIRE_MARKET_FIXTURES();
    for (const wchar_t* name : {L"bad_padding_mixed", L"wrong_key", L"truncated"}) {
        const std::wstring path = MarketFile(name);
        HostRun run = RunHost(Quote(path));
        EXPECT_EQ(1u, run.exitCode) << Narrow(name);
        std::vector<std::wstring> lines;
        ASSERT_TRUE(SplitLines(run.output, lines));
        ASSERT_EQ(4u, lines.size()) << Narrow(name) << "\n" << Show(lines);
        std::vector<std::wstring> expected = SuccessLines(path, L"", L"", L"");
        EXPECT_EQ(expected[0], lines[0]);
        EXPECT_EQ(expected[1], lines[1]);
        EXPECT_FALSE(lines[2].empty());
        EXPECT_FALSE(StartsWith(lines[2], L"Major=")) << Show(lines);
        EXPECT_EQ(kClosing, lines[3]);
    }
}

TEST(TraceLines, HostApartmentDoesNotMatter)
{
    REQUIRE_MARKET_FIXTURES();
    const std::wstring path = MarketFile(L"version_2_10_3");
    for (const wchar_t* option : {L"--sta ", L"--mta "}) {
        HostRun run = RunHost(option + Quote(path));
        EXPECT_EQ(0u, run.exitCode) << Narrow(option);
        std::vector<std::wstring> lines;
        ASSERT_TRUE(SplitLines(run.output, lines));
        EXPECT_EQ(SuccessLines(path, L"2", L"10", L"3"), lines) << Show(lines);
    }
}

TEST(TraceLines, HostWithoutStandardOutputStillGetsTheVersion)
{
    REQUIRE_MARKET_FIXTURES();
    const std::wstring good = Quote(MarketFile(L"version_2_10_3"));
    const std::wstring bad = Quote(MarketFile(L"bad_padding_zero"));
    for (const wchar_t* option : {L"--no-stdout ", L"--closed-stdout "}) {
        EXPECT_EQ(0u, RunHost(option + good).exitCode) << Narrow(option);
        EXPECT_EQ(1u, RunHost(option + bad).exitCode) << Narrow(option);
    }
    // No console and no standard handles at all, as for a GUI program.
    EXPECT_EQ(0u, RunHost(good, true).exitCode);
    EXPECT_EQ(1u, RunHost(bad, true).exitCode);
}

} // namespace
} // namespace bridgetest
