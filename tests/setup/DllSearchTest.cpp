#include "SetupDriver.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

// Loads a library by bare name and frees it again; says whether it was found.
bool Loads(const wchar_t* name)
{
    HMODULE module = LoadLibraryW(name);
    if (module == nullptr)
        return false;
    FreeLibrary(module);
    return true;
}

TEST(DllSearch, CurrentFolderIsDroppedAndTheProgramFolderStays)
{
    testsupport::TempDir downloads(L"downloads");
    ASSERT_TRUE(CopyFileW((testsupport::BinDir() + L"VerBridge.dll").c_str(),
                          (downloads.Path() + L"Planted.dll").c_str(), FALSE));
    wchar_t previous[MAX_PATH] = {};
    ASSERT_NE(0u, GetCurrentDirectoryW(MAX_PATH, previous));
    ASSERT_TRUE(SetCurrentDirectoryW(downloads.Path().c_str()));

    const bool plantedBefore = Loads(L"Planted.dll");
    HardenDllSearchPath();
    const bool plantedAfter = Loads(L"Planted.dll");
    const bool bridgeAfter = Loads(L"VerBridge.dll");
    SetCurrentDirectoryW(previous);

    EXPECT_TRUE(plantedBefore) << "the current folder should be searched before hardening";
    EXPECT_FALSE(plantedAfter);
    EXPECT_TRUE(bridgeAfter);
}

} // namespace
