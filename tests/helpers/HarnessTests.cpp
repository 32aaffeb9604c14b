// Tests of the scenario-test harness itself: the recording stub, the box watcher,
// media, log reading and running programs.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace testsupport;

namespace {

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ShowBox(const std::vector<std::wstring>& arguments)
{
    std::wstring line = Quoted(BinDir() + L"showbox.exe");
    for (const std::wstring& argument : arguments)
        line += L" " + Quoted(argument);
    return line;
}

}  // namespace

// ---- Stub -------------------------------------------------------------------------

TEST(Stub, RecordsItsCommandLineAndReturnsTheSignedCode)
{
    Medium medium;
    // Arguments in UTF-8, so that the non-ASCII case reads as it is written.
    const struct { const wchar_t* rel; long code; const char* args; } cases[] = {
        { L"MsiExec.Exe", -3, "/p \"C:\\Some Folder\\fix 1.msp\" /qn REINSTALL=ALL" },
        { L"Net Fx\\dotNetFx40_Full_x86_x64.exe", 3010, "/q /norestart" },
        { L"_isstub.exe", 0, "" },
        { L"MsiExec.Exe", 1603, "/x {11111111-2222-3333-4444-555555555555} \"GR\xC3\x96\xC3\x9F" "E=\xE2\x82\xAC\"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.rel) + " " + c.args);
        medium.AddStub(c.rel, c.code);
        const std::wstring args = Widen(c.args);
        const std::wstring line = Quoted(medium.Dir() + c.rel) + (args.empty() ? L"" : L" " + args);
        LaunchResult result = LaunchAndWatch(line);
        ASSERT_TRUE(result.started);
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(c.code, result.exitCode);
        EXPECT_EQ(std::vector<std::wstring>{ line }, medium.StubCalls(c.rel));
    }
}

TEST(Stub, AppendsCallsInOrderAndAddStubStartsAfresh)
{
    Medium medium(true);
    medium.AddStub(L"MsiExec.Exe", 0);
    const std::wstring first = Quoted(medium.Dir() + L"MsiExec.Exe") + L" /i a.msi";
    const std::wstring second = Quoted(medium.Dir() + L"MsiExec.Exe") + L" /p \"b c.msp\"";
    EXPECT_EQ(0, LaunchAndWatch(first).exitCode);
    EXPECT_EQ(0, LaunchAndWatch(second).exitCode);
    EXPECT_EQ((std::vector<std::wstring>{ first, second }), medium.StubCalls(L"MsiExec.Exe"));

    medium.AddStub(L"MsiExec.Exe", 5);
    EXPECT_TRUE(medium.StubCalls(L"MsiExec.Exe").empty());
    EXPECT_EQ(5, LaunchAndWatch(first).exitCode);
}

TEST(Stub, SleepsAndIsTerminatedAtTheTimeout)
{
    Medium medium;
    medium.AddStub(L"slow.exe", 0, 30000);
    LaunchOptions options;
    options.timeoutMs = 1000;
    DWORD start = GetTickCount();
    LaunchResult result = LaunchAndWatch(Quoted(medium.Dir() + L"slow.exe"), options);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_LT(GetTickCount() - start, 15000u);
    EXPECT_EQ(1u, medium.StubCalls(L"slow.exe").size());  // recorded before sleeping
}

// ---- Watcher ------------------------------------------------------------------------

TEST(Watcher, ReadsAndAnswersABox)
{
    const struct {
        const char* caption;
        const char* text;  // as passed to showbox: "\n" is a line break there
        UINT flags;
        std::vector<int> answers;
        std::vector<std::wstring> buttons;
        long exitCode;
        UINT icon;
    } cases[] = {
        { "Corvia Setup", "Install Corvia now?", MB_YESNO | MB_ICONQUESTION, { IDNO }, { L"Yes", L"No" }, IDNO,
          MB_ICONQUESTION },
        { "Corvia Setup", "Install Corvia now?", MB_YESNO | MB_ICONQUESTION, { IDYES }, { L"Yes", L"No" }, IDYES,
          MB_ICONQUESTION },
        { "Setup", "Could not create log file.", MB_OK | MB_ICONWARNING, {}, { L"OK" }, IDOK, MB_ICONWARNING },
        { "Fehler", "Gr\xC3\xB6\xC3\x9F" "e \xE2\x80\x94 Ende\\nZeile 2", MB_OKCANCEL | MB_ICONERROR, { IDCANCEL },
          { L"OK", L"Cancel" }, IDCANCEL, MB_ICONERROR },
        { "Corvia", "Done.", MB_OK | MB_ICONINFORMATION, { IDOK }, { L"OK" }, IDOK, MB_ICONINFORMATION },
        { "Corvia", "No answer given: first button", MB_RETRYCANCEL, {}, { L"Retry", L"Cancel" }, IDRETRY, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.caption) + ": " + c.text);
        LaunchOptions options;
        options.answers = c.answers;
        options.timeoutMs = 20000;
        LaunchResult result =
            LaunchAndWatch(ShowBox({ Widen(c.caption), Widen(c.text), std::to_wstring(c.flags) }), options);
        ASSERT_TRUE(result.started);
        ASSERT_FALSE(result.timedOut);
        EXPECT_EQ(c.exitCode, result.exitCode);
        ASSERT_EQ(1u, result.boxes.size());
        const Box& box = result.boxes[0];
        EXPECT_EQ(Widen(c.caption), box.caption);
        std::string expected = c.text;
        for (size_t at; (at = expected.find("\\n")) != std::string::npos;)
            expected.replace(at, 2, "\n");
        EXPECT_EQ(Widen(expected), box.text);
        EXPECT_EQ(c.buttons, box.buttons);
        EXPECT_EQ(c.icon, box.icon);
    }
}

TEST(Watcher, AnswersBoxesInTurn)
{
    const std::wstring twoBoxes =
        ShowBox({ L"First", L"Continue?", std::to_wstring(MB_YESNO), L"Second", L"Really?", std::to_wstring(MB_YESNO) });
    LaunchOptions options;
    options.timeoutMs = 20000;
    options.answers = { IDYES, IDNO };
    LaunchResult result = LaunchAndWatch(twoBoxes, options);
    ASSERT_FALSE(result.timedOut);
    EXPECT_EQ(IDYES * 100 + IDNO, result.exitCode);
    ASSERT_EQ(2u, result.boxes.size());
    EXPECT_EQ(L"First", result.boxes[0].caption);
    EXPECT_EQ(L"Continue?", result.boxes[0].text);
    EXPECT_EQ(L"Second", result.boxes[1].caption);
    EXPECT_EQ(L"Really?", result.boxes[1].text);

    // Answers run out after the first box: the second gets its first button.
    options.answers = { IDNO };
    result = LaunchAndWatch(twoBoxes, options);
    EXPECT_EQ(IDNO * 100 + IDYES, result.exitCode);
    EXPECT_EQ(2u, result.boxes.size());
}

TEST(Watcher, PassesTheEnvironmentAndReportsStartFailures)
{
    // Our own value is replaced for the child, whatever the case of the name.
    ASSERT_TRUE(SetEnvironmentVariableW(L"HARNESS_CODE", L"5"));
    LaunchOptions options;
    options.env = { { L"harness_code", L"-7" }, { L"HARNESS_OTHER", L"x" } };
    LaunchResult result = LaunchAndWatch(L"cmd.exe /c \"exit %HARNESS_CODE%\"", options);
    ASSERT_TRUE(result.started);
    EXPECT_EQ(-7, result.exitCode);
    EXPECT_EQ(5, LaunchAndWatch(L"cmd.exe /c \"exit %HARNESS_CODE%\"").exitCode);

    result = LaunchAndWatch(L"\"C:\\no such folder\\nothing.exe\"");
    EXPECT_FALSE(result.started);
    EXPECT_NE(0u, result.startError);
}

// ---- Medium -----------------------------------------------------------------------------

TEST(Medium, LaysOutFoldersWithSpacesAndRunsSetupQuoted)
{
    Medium medium(true);
    const std::wstring& dir = medium.Dir();
    ASSERT_GE(dir.size(), 17u);
    EXPECT_EQ(L"\\Corvia Medium 1\\", dir.substr(dir.size() - 17));
    EXPECT_EQ(dir + L"Setup.exe", medium.SetupPath());
    EXPECT_EQ(ReadBytes(BinDir() + L"Setup.exe"), ReadBytes(medium.SetupPath()));
    EXPECT_EQ(ReadBytes(BinDir() + L"VerBridge.dll"), ReadBytes(dir + L"VerBridge.dll"));
    EXPECT_TRUE(Exists(medium.TempPath()));
    EXPECT_EQ(medium.TempPath() + L"PatchInstaller.Log", medium.LogPath());
    EXPECT_EQ(std::wstring::npos, medium.TempPath().find(L"Corvia Medium 1"));

    medium.MakeDir(L"Patches/Empty");
    EXPECT_TRUE(Exists(dir + L"Patches\\Empty"));
    medium.Write(L"Data/Setup.ini", "[Setup]\r\n");
    EXPECT_EQ("[Setup]\r\n", ReadBytes(dir + L"Data\\Setup.ini"));
    medium.CopyIn(BinDir() + L"VerBridge.dll", L"Copy\\VerBridge.dll");
    EXPECT_TRUE(Exists(dir + L"Copy\\VerBridge.dll"));

    // A stub in Setup's place shows the command lines Run makes.
    medium.AddStub(L"Setup.exe", -9);
    LaunchResult result = medium.Run(L"");
    EXPECT_EQ(-9, result.exitCode);
    medium.Run(L"/s /v\"INSTALLDIR=C:\\A B\"");
    EXPECT_EQ((std::vector<std::wstring>{ Quoted(medium.SetupPath()),
                                          Quoted(medium.SetupPath()) + L" /s /v\"INSTALLDIR=C:\\A B\"" }),
              medium.StubCalls(L"Setup.exe"));
}

TEST(Medium, LogLinesLoseTheirStamps)
{
    Medium medium;
    EXPECT_TRUE(medium.LogLines().empty());
    ASSERT_TRUE(WriteBytes(medium.LogPath(), "3/2 9:5:3  Invoking Patch Install\r\n12/31 23:59:59  Done\r\nno stamp\r\n"));
    EXPECT_EQ((std::vector<std::string>{ "Invoking Patch Install", "Done", "!bad stamp: no stamp" }),
              medium.LogLines());
}

TEST(Medium, FilesAndTempDirs)
{
    std::wstring kept;
    {
        TempDir one, two(L"x");
        kept = one.Path();
        EXPECT_NE(one.Path(), two.Path());
        EXPECT_EQ(L'\\', one.Path().back());
        EXPECT_TRUE(Exists(one.Path()));

        // Parents are created, content is replaced (not merged), bytes stay bytes.
        const std::wstring file = one.Path() + L"a\\b c\\d.bin";
        ASSERT_TRUE(WriteBytes(file, "a much longer first content"));
        const std::string binary("x\0\xff\r\n\x80", 6);
        ASSERT_TRUE(WriteBytes(file, binary));
        EXPECT_EQ(binary, ReadBytes(file));
        EXPECT_EQ("", ReadBytes(one.Path() + L"missing"));

        // Left read-only on purpose: cleaning up must cope with it.
        ASSERT_TRUE(WriteBytes(one.Path() + L"ro\\file.txt", "r"));
        ASSERT_TRUE(SetFileAttributesW((one.Path() + L"ro\\file.txt").c_str(), FILE_ATTRIBUTE_READONLY));
        EXPECT_TRUE(DeleteTree(two.Path()));
        EXPECT_FALSE(Exists(two.Path()));
        EXPECT_TRUE(DeleteTree(two.Path()));
    }
    EXPECT_FALSE(Exists(kept));
}

// ---- LogFormat ---------------------------------------------------------------------------

TEST(LogFormat, StripTimestampAcceptsOnlyTheExactStamp)
{
    const struct { const char* line; const char* text; } good[] = {
        { "3/2 9:5:3  Invoking Patch Install", "Invoking Patch Install" },
        { "12/31 23:59:59  x", "x" },
        { "1/1 0:0:0  ", "" },
        { "10/10 10:10:10   leading blank", " leading blank" },
        { "1/1 0:0:0  a  3/2 9:5:3  b", "a  3/2 9:5:3  b" },
    };
    for (const auto& c : good)
        EXPECT_EQ(c.text, StripTimestamp(c.line)) << c.line;

    const char* bad[] = {
        "03/2 9:5:3  x", "3/02 9:5:3  x", "3/2 09:5:3  x", "3/2 9:05:3  x", "3/2 9:5:03  x",
        "3/2 9:5:3 x",   "3/2 24:0:0  x", "13/1 1:1:1  x", "0/1 1:1:1  x",  "3/0 1:1:1  x",
        "3/32 1:1:1  x", "3/2 9:60:0  x", "3/2 9:5:60  x", "3/2 9:5  x",    "3/2  9:5:3  x",
        "3/2 9:5:3",     "",              "x",             "3/2 9:5:3\t x", "3/2 -1:5:3  x",
        "3/2 +9:5:3  x", "123/2 9:5:3  x",
    };
    for (const char* line : bad)
        EXPECT_EQ(std::string("!bad stamp: ") + line, StripTimestamp(line)) << line;
}

TEST(LogFormat, ReadLogLinesSplitsAtCrLfOnly)
{
    TempDir dir;
    const struct { std::string bytes; std::vector<std::string> lines; } cases[] = {
        { "", {} },
        { "a\r\n", { "a" } },
        { "a\r\nb", { "a", "b" } },
        { "a\r\n\r\n", { "a", "" } },
        // A text with its own CR LF arrives as CR CR LF; lone LF and CR are no breaks.
        { "first\r\r\nsecond\r\n", { "first\r", "second" } },
        { "a\nb\rc\r\n", { "a\nb\rc" } },
        { std::string("caf\xe9\0z\r\n", 8), { std::string("caf\xe9\0z", 6) } },
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteBytes(dir.Path() + L"log", c.bytes));
        EXPECT_EQ(c.lines, ReadLogLines(dir.Path() + L"log")) << c.bytes;
    }
    EXPECT_TRUE(ReadLogLines(dir.Path() + L"missing").empty());
}

// ---- RunningProgram -------------------------------------------------------------------------

TEST(RunningProgram, IsInTheSnapshotUntilDestroyed)
{
    std::wstring folder;
    {
        RunningProgram program(L"Corvia.exe");
        folder = program.Path().substr(0, program.Path().find_last_of(L'\\'));
        ASSERT_NE(0u, program.ProcessId());
        EXPECT_TRUE(IsProcessRunning(L"corvia.EXE", program.ProcessId()));
        EXPECT_TRUE(IsProcessRunning(L"Corvia.exe"));
        EXPECT_FALSE(IsProcessRunning(L"Corvia"));
    }
    EXPECT_FALSE(IsProcessRunning(L"Corvia.exe"));
    EXPECT_FALSE(Exists(folder));
}

TEST(RunningProgram, SleeperSleepsAsToldOrUntilStopped)
{
    LaunchOptions options;
    options.timeoutMs = 20000;
    LaunchResult result = LaunchAndWatch(Quoted(BinDir() + L"sleeper.exe") + L" 200", options);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(0, result.exitCode);

    options.timeoutMs = 500;
    EXPECT_TRUE(LaunchAndWatch(Quoted(BinDir() + L"sleeper.exe"), options).timedOut);
}
