// What a query leaves behind: no state that changes the next result, no handle,
// no COM apartment, no open file.
#include "BridgeTestSupport.h"

#include <objbase.h>

#include <string>
#include <vector>

namespace bridgetest {
namespace {

// Wine's own services (registry caches, the crypto provider) may open a few
// handles once; a leak per call shows as hundreds.
const DWORD kHandleSlack = 8;

struct Expectation {
    std::wstring path;
    std::wstring text;  // empty: no version, buffer untouched
};

std::vector<Expectation> MixedQueries()
{
    return {{MarketFile(L"version_2_10_3"), L"2.10.3"},
            {MarketFile(L"bad_padding_mixed"), L""},
            {MarketFile(L"version_utf16"), L"3.1.9\u03A9"},
            {MarketFolder() + L"missing.mkt", L""},
            {MarketFile(L"version_blank_major"), L" 4.1.0"},
            {MarketFile(L"first_version_incomplete"), L""},
            {MarketFile(L"version_1504"), std::wstring(1023, L'8')},
            {MarketFile(L"dtd_internal"), L""},
            {MarketFile(L"version_latin1"), L"1.5.2\u00E9"},
            {MarketFile(L"not_well_formed"), L""}};
}

::testing::AssertionResult Check(GetVersionFn getVersion, const Expectation& query)
{
    CallerBuffer buffer;
    getVersion(query.path.c_str(), buffer.Data());
    if (query.text.empty()) {
        if (!buffer.Untouched() || !buffer.GuardIntact())
            return ::testing::AssertionFailure() << Narrow(query.path) << ": buffer changed to \""
                                                 << Narrow(buffer.Text()) << "\"";
        return ::testing::AssertionSuccess();
    }
    ::testing::AssertionResult holds = buffer.Holds(query.text);
    if (!holds)
        return holds << " (" << Narrow(query.path) << ")";
    return holds;
}

TEST(Resources, RepeatedCallsCarryNothingOverAndLeakNoHandles)
{
    REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    const std::vector<Expectation> queries = MixedQueries();
    for (const Expectation& query : queries)
        ASSERT_TRUE(Check(bridge.Function(), query));

    const DWORD before = HandleCount();
    ASSERT_NE(0u, before);
    for (int round = 0; round < 40; ++round) {
        for (const Expectation& query : queries)
            ASSERT_TRUE(Check(bridge.Function(), query)) << "round " << round;
    }
    EXPECT_LE(HandleCount(), before + kHandleSlack) << "handles before: " << before;
}

TEST(Resources, LoadCallFreeForEachQueryAsSetupDoes)
{
    REQUIRE_MARKET_FIXTURES();
    QuietStdout quiet;
    const std::vector<Expectation> queries = MixedQueries();
    {
        Bridge warmUp;
        ASSERT_TRUE(warmUp);
        ASSERT_TRUE(Check(warmUp.Function(), queries[0]));
    }
    const DWORD before = HandleCount();
    for (int round = 0; round < 10; ++round) {
        for (const Expectation& query : queries) {
            Bridge bridge;
            ASSERT_TRUE(bridge);
            ASSERT_TRUE(Check(bridge.Function(), query)) << "round " << round;
        }
    }
    EXPECT_LE(HandleCount(), before + kHandleSlack) << "handles before: " << before;
}

struct ApartmentRun {
    DWORD apartment;  // 0: the thread never initialises COM
    GetVersionFn getVersion;
    std::wstring path;
    std::wstring text;
    HRESULT afterwards = E_FAIL;
};

DWORD WINAPI ApartmentThread(void* parameter)
{
    ApartmentRun& run = *static_cast<ApartmentRun*>(parameter);
    bool initialised = run.apartment != 0 && SUCCEEDED(CoInitializeEx(nullptr, run.apartment));
    CallerBuffer buffer;
    buffer.FillZero();
    run.getVersion(run.path.c_str(), buffer.Data());
    run.text = buffer.Text();
    if (initialised)
        CoUninitialize();
    // If the library left an apartment of its own behind, the thread could not
    // now join the multithreaded one.
    run.afterwards = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(run.afterwards))
        CoUninitialize();
    return 0;
}

TEST(Resources, ComIsBalancedWhateverTheCallersApartment)
{
    REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    for (DWORD apartment : {DWORD(0), DWORD(COINIT_APARTMENTTHREADED), DWORD(COINIT_MULTITHREADED)}) {
        ApartmentRun run{apartment, bridge.Function(), MarketFile(L"version_2_10_3"), L""};
        HANDLE thread = CreateThread(nullptr, 0, ApartmentThread, &run, 0, nullptr);
        ASSERT_NE(nullptr, thread);
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread, 60000));
        CloseHandle(thread);
        EXPECT_EQ(L"2.10.3", run.text) << "apartment " << apartment;
        EXPECT_EQ(S_OK, run.afterwards) << "apartment " << apartment;
    }
}

TEST(Resources, FileIsReleasedOnEveryPath)
{
    REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    TempFolder folder;
    for (const wchar_t* name : {L"version_2_10_3", L"truncated", L"bad_padding_nine", L"not_well_formed",
                                L"no_version", L"dtd_external", L"empty_file"}) {
        const std::wstring copy = folder.Path() + name + L".mkt";
        ASSERT_TRUE(CopyFileW(MarketFile(name).c_str(), copy.c_str(), FALSE));
        CallerBuffer buffer;
        bridge.Function()(copy.c_str(), buffer.Data());
        // Nobody else may hold it open now: exclusive access and deletion succeed.
        HANDLE exclusive = CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                       nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, exclusive) << Narrow(name) << " is still open";
        if (exclusive != INVALID_HANDLE_VALUE)
            CloseHandle(exclusive);
        EXPECT_TRUE(DeleteFileW(copy.c_str())) << Narrow(name);
    }
}

TEST(Resources, FileOpenForReadingElsewhereIsStillRead)
{
    REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;
    const std::wstring path = MarketFile(L"version_2_10_3");
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    CallerBuffer buffer;
    bridge.Function()(path.c_str(), buffer.Data());
    EXPECT_TRUE(buffer.Holds(L"2.10.3"));
    CloseHandle(reader);
}

} // namespace
} // namespace bridgetest
