#include "DriverTestSupport.h"

#include "Paths.h"

#include <gtest/gtest.h>

using testsupport::Narrow;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

// A medium folder laid out from a list of entries: a name ending in '\' is a folder.
struct MediumCase {
    const char* name;
    std::vector<std::wstring> entries;
    bool srcIsFiles;
    bool patchFolder;
    std::vector<std::wstring> patchCandidates; // empty: no patch is found
};

void PrintTo(const MediumCase& c, std::ostream* os)
{
    *os << c.name;
}

class MediumLayout : public testing::TestWithParam<MediumCase> {};

TEST_P(MediumLayout, FoldersCatalogueAndPatchAreDerivedFromTheProgramFolder)
{
    const MediumCase& c = GetParam();
    TempFolderScope temp;
    TempDir medium(L"Corvia Medium ");
    for (const std::wstring& entry : c.entries) {
        const std::wstring path = medium.Path() + entry;
        const bool made = entry.back() == L'\\' ? CreateDirectoryW(path.c_str(), nullptr) != FALSE
                                                 : WriteBytes(path, "x");
        ASSERT_TRUE(made) << Narrow(path);
    }
    const std::wstring dir = medium.Path();
    const std::wstring srcDir = c.srcIsFiles ? dir + L"Files" : dir;
    const std::wstring catalogue =
        (c.patchFolder ? dir + L"Patches\\" : (c.srcIsFiles ? srcDir + L"\\" : srcDir)) +
        L"Markets\\Markets.xml";

    SetupDriver driver;
    driver.OpenLog();
    driver.InitPathsFrom((dir + L"Setup.exe").c_str());

    EXPECT_EQ(dir, driver.m_szModuleDir);
    EXPECT_EQ(srcDir, driver.m_szSrcDir);
    EXPECT_EQ(dir + L"Patches", driver.m_szPatchDir);
    EXPECT_EQ(catalogue, driver.m_szMarketsXml);
    EXPECT_EQ(c.patchFolder, driver.m_bPatchFolder);
    EXPECT_EQ(!c.patchCandidates.empty(), driver.m_bPatchFound);
    if (c.patchCandidates.empty()) {
        EXPECT_STREQ(L"", driver.m_szPatchFile);
    } else {
        bool isCandidate = false;
        for (const std::wstring& candidate : c.patchCandidates)
            isCandidate = isCandidate || dir + L"Patches\\" + candidate == driver.m_szPatchFile;
        EXPECT_TRUE(isCandidate) << Narrow(driver.m_szPatchFile);
    }
    EXPECT_NE(L'\0', driver.m_szCommonAppData[0]);

    const std::vector<std::string> expected = {
        "m_szSrcDir: " + Narrow(srcDir),
        "m_szPatchDir: " + Narrow(dir) + "Patches",
        c.patchFolder ? "Information : Patch Folder Exists" : "Information : No patch Exists",
        "Xml Used as " + Narrow(catalogue),
        Narrow(driver.m_szCommonAppData),
    };
    EXPECT_EQ(expected, temp.LogLines());
}

INSTANTIATE_TEST_SUITE_P(
    Media, MediumLayout,
    testing::Values(
        MediumCase{"Bare", {}, false, false, {}},
        MediumCase{"FilesFolder", {L"Files\\"}, true, false, {}},
        MediumCase{"FilesAndPatchesAreFiles", {L"Files", L"Patches"}, false, false, {}},
        MediumCase{"PatchWithFiles", {L"Files\\", L"Patches\\", L"Patches\\update.msp"}, true, true,
                   {L"update.msp"}},
        MediumCase{"PatchesWithoutPatch", {L"Patches\\", L"Patches\\notes.txt"}, false, true, {}},
        MediumCase{"TwoPatches", {L"Patches\\", L"Patches\\a.msp", L"Patches\\b.MSP"}, false, true,
                   {L"a.msp", L"b.MSP"}},
        MediumCase{"FolderNamedLikeAPatch", {L"Patches\\", L"Patches\\old.msp\\", L"Patches\\new.msp"},
                   false, true, {L"new.msp"}}),
    [](const testing::TestParamInfo<MediumCase>& info) { return std::string(info.param.name); });

TEST(Paths, AProgramFolderNearTheLimitLeavesPathsEmptyRatherThanCut)
{
    TempFolderScope temp;
    // 1019 characters: the program's name still fits behind it, "Files" no longer does.
    const std::wstring folder = L"C:\\" + std::wstring(1015, L'a') + L"\\";
    SetupDriver driver;
    driver.OpenLog();
    driver.InitPathsFrom((folder + L"S").c_str());

    EXPECT_EQ(folder, driver.m_szModuleDir);
    EXPECT_EQ(folder, driver.m_szSrcDir);          // "Files" does not fit
    EXPECT_STREQ(L"", driver.m_szPatchDir);        // nor does "Patches"
    EXPECT_STREQ(L"", driver.m_szMarketsXml);      // so no catalogue can be loaded
    EXPECT_FALSE(driver.m_bPatchFolder);
}

TEST(Paths, AppendBackslash)
{
    struct Case {
        std::wstring before, after;
        bool result;
    };
    const std::wstring full(kTextSize - 1, L'a');
    const Case cases[] = {
        {L"", L"\\", true},
        {L"C:\\Medium", L"C:\\Medium\\", true},
        {L"C:\\Medium\\", L"C:\\Medium\\", true},
        {full, full, false},
    };
    for (const Case& c : cases) {
        wchar_t path[kTextSize + 8];
        wmemset(path, L'#', kTextSize + 8);
        wcscpy(path, c.before.c_str());
        EXPECT_EQ(c.result, AppendBackslash(path, kTextSize)) << Narrow(c.before);
        EXPECT_EQ(c.after, path);
        EXPECT_EQ(std::wstring(8, L'#'), std::wstring(path + kTextSize, 8)) << "written past the end";
    }
}

TEST(Paths, JoinPathNeverCutsAPath)
{
    wchar_t path[16];
    EXPECT_TRUE(JoinPath(path, L"C:\\a", L"b.txt"));
    EXPECT_STREQ(L"C:\\a\\b.txt", path);
    EXPECT_TRUE(JoinPath(path, L"C:\\a\\", L"b.txt"));
    EXPECT_STREQ(L"C:\\a\\b.txt", path);
    EXPECT_FALSE(JoinPath(path, L"C:\\folder", L"longname.txt"));
    EXPECT_STREQ(L"", path);
}

} // namespace
