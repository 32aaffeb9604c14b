// Support for scenario tests: files and folders, fixture media, and running a
// program while watching and answering the message boxes it shows.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// Folder of the running test program, trailing backslash. Setup.exe,
// VerBridge.dll and the helper programs are built into the same folder.
std::wstring BinDir();
// %SETUP_TEST_DATA% with a trailing backslash; empty when the variable is not set.
std::wstring TestDataDir();

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& text);  // UTF-8

// Creates missing parent folders and replaces the file.
bool WriteBytes(const std::wstring& path, const std::string& bytes);
// Empty when the file is missing or cannot be read. Opens with full sharing, so
// a log still held by a running program can be read.
std::string ReadBytes(const std::wstring& path);
// Removes a file or a folder with everything in it (read-only files too).
// True when nothing is left at the path, also when nothing was there.
bool DeleteTree(const std::wstring& path);

// A unique folder under %TEMP% (GetTempPathW), removed with its contents on
// destruction.
class TempDir {
public:
    explicit TempDir(const std::wstring& prefix = L"t");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& Path() const;  // trailing backslash
private:
    std::wstring m_path;
};

struct Box {
    std::wstring caption, text;
    std::vector<std::wstring> buttons;  // texts as shown, mnemonic '&' removed, in dialog order
    UINT icon = 0;  // MB_ICONERROR / MB_ICONWARNING / MB_ICONINFORMATION / MB_ICONQUESTION, 0 if none or unknown
    std::vector<int> buttonIds;  // control ids of the buttons, same order as buttons
};

struct LaunchOptions {
    // Variables set (or replaced) for the child on top of this process's environment;
    // a later entry for the same name wins.
    std::vector<std::pair<std::wstring, std::wstring>> env;
    // Button id to press for the 1st, 2nd, ... box (IDOK, IDYES, IDNO...); when
    // exhausted the box's first button is pressed.
    std::vector<int> answers;
    DWORD timeoutMs = 60000;  // the child is terminated after this; timedOut set
};

struct LaunchResult {
    bool started = false;
    bool timedOut = false;
    long exitCode = 0;  // signed: -7 stays -7
    std::vector<Box> boxes;
    DWORD startError = 0;  // GetLastError of CreateProcessW when not started
};

// Starts the command line and watches the child until it ends: every top-level
// dialog (#32770) of the child's process is recorded once and answered.
LaunchResult LaunchAndWatch(const std::wstring& commandLine, const LaunchOptions& options = {});

// The file split at CR LF into lines (bytes as in the file); a final empty piece dropped.
std::vector<std::string> ReadLogLines(const std::wstring& path);
// "M/D H:M:S  text" -> "text". A line whose stamp is not exactly of that form
// comes back as "!bad stamp: " + line, so a comparison fails visibly.
std::string StripTimestamp(const std::string& line);

// A fixture installation medium in a fresh TempDir. Set-up failures (a file that
// cannot be copied or written) throw std::runtime_error, so the test stops with
// the reason instead of failing later for a confusing one.
class Medium {
public:
    // root\medium\ or root\Corvia Medium 1\ with Setup.exe and VerBridge.dll from
    // BinDir(); also root\tmp\, the run's temp folder.
    explicit Medium(bool pathWithSpaces = false);
    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;

    const std::wstring& Dir() const;  // trailing backslash
    std::wstring SetupPath() const;   // Dir() + L"Setup.exe"
    std::wstring TempPath() const;    // root\tmp\ (trailing backslash)
    std::wstring LogPath() const;     // TempPath() + L"PatchInstaller.Log"

    // rel is relative to Dir(); '/' may be used for '\'.
    void MakeDir(const std::wstring& rel);
    void Write(const std::wstring& rel, const std::string& bytes);
    void CopyIn(const std::wstring& sourcePath, const std::wstring& rel);
    // stub.exe copied as rel, with its sidecar files (rel.exitcode, rel.sleep);
    // calls recorded by an earlier stub at rel are discarded.
    void AddStub(const std::wstring& rel, long exitCode = 0, DWORD sleepMs = 0);
    // Command lines the stub at rel recorded, in order.
    std::vector<std::wstring> StubCalls(const std::wstring& rel) const;

    // Runs "\"<SetupPath()>\" " + args (no trailing blank when args is empty) with
    // TMP and TEMP = TempPath(); TMP or TEMP given in options.env take precedence.
    LaunchResult Run(const std::wstring& args, LaunchOptions options = {}) const;
    // ReadLogLines(LogPath()) with StripTimestamp applied.
    std::vector<std::string> LogLines() const;

private:
    std::wstring Full(const std::wstring& rel) const;
    TempDir m_root;
    std::wstring m_dir;
};

// sleeper.exe copied under exeName into its own TempDir and started; it is
// visible in a process snapshot when the constructor returns. Terminated and
// waited for on destruction.
class RunningProgram {
public:
    explicit RunningProgram(const std::wstring& exeName);
    ~RunningProgram();
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;
    DWORD ProcessId() const;
    const std::wstring& Path() const;
private:
    TempDir m_dir;  // declared first: removed only after the process has ended
    std::wstring m_path;
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
};

// True when a process with this exe file name (case-insensitive, no folder) is in
// a process snapshot; pid, when given, must match too.
bool IsProcessRunning(const std::wstring& exeName, DWORD pid = 0);

}  // namespace testsupport
