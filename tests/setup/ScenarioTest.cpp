// Setup.exe run as a whole on fixture media.
#include "TestSupport.h"

#include <gtest/gtest.h>

using testsupport::Medium;
using testsupport::Narrow;

namespace {

const char kCatalogue[] =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Markets ProductCode=\"{6A0D2B1C-1111-2222-3333-444455556666}\" ExeName=\"Corvia\" "
    "ProductName=\"Corvia\" Brand=\"Valdane\" ProductVersion=\"3.9\" NextPatchProductVersion=\"3.10\">\r\n"
    "  <Files/>\r\n  <Markets/>\r\n</Markets>\r\n";

const std::string kLoadFailed = "Could not load the markets xml file.";

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(Scenario, MissingCatalogueShowsOneBoxAndEndsWithMinusOne)
{
    Medium medium;
    const testsupport::LaunchResult result = medium.Run(L"");
    ASSERT_TRUE(result.started);
    EXPECT_EQ(-1, result.exitCode);
    ASSERT_EQ(1u, result.boxes.size());
    EXPECT_EQ(L"Setup", result.boxes[0].caption);
    EXPECT_EQ(L"Could not load the markets xml file.", result.boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR), result.boxes[0].icon);
    EXPECT_EQ(std::vector<std::wstring>{L"OK"}, result.boxes[0].buttons);
    EXPECT_FALSE(Contains(medium.LogLines(), kLoadFailed));
}

TEST(Scenario, MissingCatalogueInASilentRunIsOnlyLogged)
{
    for (const wchar_t* silent : {L"/s", L"/S", L"/q", L"/v/qn"}) {
        SCOPED_TRACE(Narrow(silent));
        Medium medium;
        const testsupport::LaunchResult result = medium.Run(silent);
        EXPECT_EQ(-1, result.exitCode);
        EXPECT_TRUE(result.boxes.empty());
        EXPECT_EQ(kLoadFailed, medium.LogLines().back());
    }
}

TEST(Scenario, CatalogueWithoutProductCodeEndsQuietlyWithZero)
{
    Medium medium;
    medium.Write(L"Markets\\Markets.xml", "<Markets ProductName=\"Corvia\"/>");
    const testsupport::LaunchResult result = medium.Run(L"");
    EXPECT_EQ(0, result.exitCode);
    EXPECT_TRUE(result.boxes.empty());
    // The product information entry is the last thing written.
    const std::string log = testsupport::ReadBytes(medium.LogPath());
    const std::string tail = "\tNextPatch Ver: \r\n";
    ASSERT_GE(log.size(), tail.size());
    EXPECT_EQ(tail, log.substr(log.size() - tail.size()));
}

TEST(Scenario, UpdateMediumInAFolderWithSpacesIsLoggedAsFound)
{
    Medium medium(true);
    medium.MakeDir(L"Files");
    medium.Write(L"Patches\\Markets\\Markets.xml", kCatalogue);
    medium.Write(L"Patches\\Corvia 3.10.msp", "patch");
    const testsupport::LaunchResult result = medium.Run(L"/s");
    EXPECT_EQ(0, result.exitCode);
    EXPECT_TRUE(result.boxes.empty());

    const std::string dir = Narrow(medium.Dir());
    const std::vector<std::string> lines = medium.LogLines();
    ASSERT_GE(lines.size(), 6u);
    const std::vector<std::string> first(lines.begin(), lines.begin() + 6);
    const std::vector<std::string> expected = {
        "m_szSrcDir: " + dir + "Files",
        "m_szPatchDir: " + dir + "Patches",
        "Information : Patch Folder Exists",
        "Xml Used as " + dir + "Patches\\Markets\\Markets.xml",
        "C:\\ProgramData",
        "Product Information:\r",
    };
    EXPECT_EQ(expected, first);
    EXPECT_NE(std::string::npos,
              testsupport::ReadBytes(medium.LogPath())
                  .find("\tProductCode: {6A0D2B1C-1111-2222-3333-444455556666}\r\r\n\tExeName: Corvia.exe\r\r\n"));
}

TEST(Scenario, SecondRunReplacesTheLog)
{
    Medium medium;
    medium.Write(L"Markets\\Markets.xml", kCatalogue);
    EXPECT_EQ(0, medium.Run(L"/s").exitCode);
    const size_t firstRun = medium.LogLines().size();
    EXPECT_EQ(0, medium.Run(L"/s").exitCode);
    EXPECT_EQ(firstRun, medium.LogLines().size());
}

} // namespace
