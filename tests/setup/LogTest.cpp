#include "DriverTestSupport.h"

#include <gtest/gtest.h>

#include <initializer_list>

using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

const wchar_t kFallbackLog[] = L"C:\\PatchInstaller.log";

// The fallback log lives in C:\ of the whole prefix; each test starts and ends without it.
class FallbackLogScope {
public:
    FallbackLogScope() { DeleteFileW(kFallbackLog); }
    ~FallbackLogScope() { DeleteFileW(kFallbackLog); }
};

// One run of the driver that opens its log and writes these lines, then ends.
void LogRun(std::initializer_list<const wchar_t*> texts)
{
    SetupDriver driver;
    driver.OpenLog();
    for (const wchar_t* text : texts)
        driver.WriteLog(text);
}

} // namespace

TEST(Log, LineHasStampWithoutLeadingZerosAndEndsInCrLf)
{
    TempFolderScope temp;
    const std::wstring path = temp.Path() + L"stamp.log";
    {
        LogFile log;
        ASSERT_TRUE(log.Open(path.c_str(), false));
        SYSTEMTIME time = {};
        time.wYear = 2026;
        time.wMonth = 3;
        time.wDay = 2;
        time.wHour = 9;
        time.wMinute = 5;
        time.wSecond = 3;
        log.WriteLine(time, L"Invoking Patch Install");
        time.wMonth = 12;
        time.wDay = 31;
        time.wHour = 23;
        time.wMinute = 59;
        time.wSecond = 0;
        log.WriteLine(time, L"");
    }
    EXPECT_EQ("3/2 9:5:3  Invoking Patch Install\r\n12/31 23:59:0  \r\n", ReadBytes(path));
}

TEST(Log, CharactersBecomeSingleBytesAndWideOnesQuestionMarks)
{
    TempFolderScope temp;
    LogRun({L"Caf\u00e9 \u00ff \u00a0end", L"\u30a2\u30af\u30bb\u30b9 \u4e2d\u6587", L"pair \U0001F600 end",
            L"still written after them"});
    const std::vector<std::string> expected = {
        "Caf\xe9 \xff \xa0" "end", "???? ??", "pair ? end", "still written after them"};
    EXPECT_EQ(expected, temp.LogLines());
}

TEST(Log, LineBreaksInsideATextBecomeCrCrLfAndCarryNoStamp)
{
    TempFolderScope temp;
    LogRun({L"Product Information:\r\n\tProductCode: X\r\n\tExeName: Y", L"bare\nfeed"});
    const std::string bytes = ReadBytes(temp.LogPath());
    EXPECT_NE(std::string::npos,
              bytes.find("  Product Information:\r\r\n\tProductCode: X\r\r\n\tExeName: Y\r\n"));
    EXPECT_NE(std::string::npos, bytes.find("  bare\r\nfeed\r\n"));
    EXPECT_EQ("Product Information:\r", temp.LogLines().front());
}

TEST(Log, NextRunReplacesTheTemporaryFolderLog)
{
    TempFolderScope temp;
    ASSERT_TRUE(WriteBytes(temp.LogPath(), "1/1 1:1:1  earlier run\r\n"));
    LogRun({L"this run"});
    EXPECT_EQ(std::vector<std::string>{"this run"}, temp.LogLines());
}

TEST(Log, CreatesAMissingTemporaryFolder)
{
    TempFolderScope temp;
    const std::wstring missing = temp.Path() + L"not yet";
    SetEnvironmentVariableW(L"TMP", missing.c_str());
    LogRun({L"into a new folder"});
    const std::vector<std::string> lines = testsupport::ReadLogLines(missing + L"\\PatchInstaller.Log");
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("into a new folder", testsupport::StripTimestamp(lines[0]));
}

TEST(Log, OthersCanReadTheLogWhileItIsWritten)
{
    TempFolderScope temp;
    SetupDriver driver;
    driver.OpenLog();
    driver.WriteLog(L"first line");
    // Every line is in the file when WriteLog returns.
    EXPECT_EQ(std::vector<std::string>{"first line"}, temp.LogLines());
    driver.WriteLog(L"second line");
    EXPECT_EQ(2u, temp.LogLines().size());
}

TEST(Log, FallsBackToAppendingInDriveCWhenTheTemporaryLogIsHeld)
{
    TempFolderScope temp;
    FallbackLogScope fallback;
    ASSERT_TRUE(WriteBytes(kFallbackLog, "1/1 1:1:1  earlier run\r\n"));
    HANDLE held = CreateFileW(temp.LogPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    LogRun({L"first fallback run"});
    LogRun({L"second fallback run"});
    CloseHandle(held);

    const std::vector<std::string> lines = testsupport::ReadLogLines(kFallbackLog);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("1/1 1:1:1  earlier run", lines[0]);
    EXPECT_EQ("first fallback run", testsupport::StripTimestamp(lines[1]));
    EXPECT_EQ("second fallback run", testsupport::StripTimestamp(lines[2]));
    EXPECT_EQ("", ReadBytes(temp.LogPath()));
}

TEST(Log, LongLinesAreWrittenWhole)
{
    TempFolderScope temp;
    const std::wstring longText(5000, L'x');
    {
        SetupDriver driver;
        driver.OpenLog();
        driver.WriteLog(longText.c_str());
        driver.WriteLogFormat(L"formatted %ls", longText.c_str());
        driver.WriteLog(L"after");
    }
    const std::vector<std::string> lines = temp.LogLines();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(std::string(5000, 'x'), lines[0]);
    // A formatted line is cut to its 2048-character buffer.
    EXPECT_EQ("formatted " + std::string(2047 - 10, 'x'), lines[1]);
    EXPECT_EQ("after", lines[2]);
}
