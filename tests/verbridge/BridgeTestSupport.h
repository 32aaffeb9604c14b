// Shared helpers of the VerBridge tests: loading the library the way Setup does,
// the caller's buffer with a guard behind it, fixture paths and process resources.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace bridgetest {

using GetVersionFn = void(WINAPI*)(const wchar_t* filename, wchar_t* outVersion);

// Folder of the running test program, with a trailing backslash. VerBridge.dll and
// the host program are built beside it.
std::wstring ProgramFolder();

// VerBridge.dll from the program folder, loaded for the object's lifetime.
class Bridge {
public:
    Bridge();
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    HMODULE Module() const { return m_module; }
    GetVersionFn Function() const { return m_function; }
    explicit operator bool() const { return m_function != nullptr; }

private:
    HMODULE m_module = nullptr;
    GetVersionFn m_function = nullptr;
};

// The caller's 1024-unit buffer followed by a guard area. Filled with a pattern
// that no write of the library can leave unchanged by accident.
class CallerBuffer {
public:
    static const size_t kChars = 1024;
    static const size_t kGuardChars = 64;

    CallerBuffer() : m_data(kChars + kGuardChars) { Fill(); }
    void Fill();
    void FillZero();
    wchar_t* Data() { return m_data.data(); }

    // Every one of the 1024 units is still as Fill left it.
    bool Untouched() const;
    bool GuardIntact() const;
    // Exactly text and its terminator were written; the rest is still the pattern
    // (or zeros after FillZero).
    ::testing::AssertionResult Holds(const std::wstring& text) const;
    // The text up to the first NUL within the 1024 units (all of them when none).
    std::wstring Text() const;

private:
    wchar_t Pattern(size_t index) const;
    std::vector<wchar_t> m_data;
    bool m_zero = false;
};

// Folder of the generated market files, from SETUP_TEST_DATA; empty when unset.
std::wstring MarketFolder();
std::wstring MarketFile(const wchar_t* name);  // MarketFolder() + name + ".mkt"
bool MarketFixturesBuilt();

#define REQUIRE_MARKET_FIXTURES()                                                                  \
    do {                                                                                           \
        if (!::bridgetest::MarketFixturesBuilt())                                                  \
            GTEST_SKIP() << "market files were not made (openssl or iconv missing at build time, " \
                            "or SETUP_TEST_DATA not set)";                                         \
    } while (0)

// A fresh folder under the user's temporary folder, removed with its files.
class TempFolder {
public:
    explicit TempFolder(const wchar_t* name = L"verbridge");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return m_path; }  // with trailing backslash

private:
    std::wstring m_path;
};

std::vector<BYTE> ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::vector<BYTE>& bytes);

// Open handles of this process.
DWORD HandleCount();

// Sends this process's standard output to NUL while in scope, so that thousands
// of trace lines do not flood the test log. The C runtime's stdout (gtest's own
// output) is not affected.
class QuietStdout {
public:
    QuietStdout();
    ~QuietStdout();
    QuietStdout(const QuietStdout&) = delete;
    QuietStdout& operator=(const QuietStdout&) = delete;

private:
    HANDLE m_saved;
    HANDLE m_null;
};

std::string Narrow(const std::wstring& text);  // UTF-8, for test messages

} // namespace bridgetest
