// The version text that the export writes, and the cases in which it writes
// nothing at all.
#include "BridgeTestSupport.h"

#include <string>

namespace bridgetest {
namespace {

struct VersionCase {
    const wchar_t* file;
    std::wstring expected;
};

std::ostream& operator<<(std::ostream& out, const VersionCase& c)
{
    return out << Narrow(c.file);
}

class VersionText : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionText, WritesTheTextAndItsTerminatorOnly)
{
    REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;

    CallerBuffer buffer;
    bridge.Function()(MarketFile(GetParam().file).c_str(), buffer.Data());
    EXPECT_TRUE(buffer.Holds(GetParam().expected));

    // Setup's own way: a zero-filled buffer.
    buffer.FillZero();
    bridge.Function()(MarketFile(GetParam().file).c_str(), buffer.Data());
    EXPECT_TRUE(buffer.Holds(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    MarketFiles, VersionText,
    ::testing::Values(
        VersionCase{L"version_2_10_3", L"2.10.3"},
        VersionCase{L"version_blank_major", L" 4.1.0"},
        VersionCase{L"version_not_numbers", L"01.2.7a"},
        VersionCase{L"version_empty_element", L"1.0.12"},
        VersionCase{L"version_empty_values", L".."},
        VersionCase{L"version_after_foreign_version", L"6.0.2"},
        VersionCase{L"version_line_feed", L"1\n2.0.5"},
        VersionCase{L"version_utf16", L"3.1.9\u03A9"},
        VersionCase{L"version_latin1", L"1.5.2\u00E9"},
        // 1019 + 4 = 1023 characters: the longest text that fits whole.
        VersionCase{L"version_1023", std::wstring(1019, L'7') + L".1.2"},
        // 1504 characters: cut to 1023 and terminated in the last unit.
        VersionCase{L"version_1504", std::wstring(1023, L'8')}),
    [](const ::testing::TestParamInfo<VersionCase>& info) { return Narrow(info.param.file); });

enum class PathKind { Null, Literal, Fixture, MarketFolder };

struct NoVersionCase {
    const char* name;
    PathKind kind;
    const wchar_t* path;  // the literal path, or the fixture's name
};

std::ostream& operator<<(std::ostream& out, const NoVersionCase& c)
{
    return out << c.name;
}

class NoVersion : public ::testing::TestWithParam<NoVersionCase> {};

TEST_P(NoVersion, LeavesTheCallersBufferAsItWas)
{
    const NoVersionCase& c = GetParam();
    if (c.kind == PathKind::Fixture || c.kind == PathKind::MarketFolder)
        REQUIRE_MARKET_FIXTURES();
    Bridge bridge;
    ASSERT_TRUE(bridge);
    QuietStdout quiet;

    std::wstring path;
    if (c.kind == PathKind::Literal)
        path = c.path;
    else if (c.kind == PathKind::Fixture)
        path = MarketFile(c.path);
    else if (c.kind == PathKind::MarketFolder)
        path = MarketFolder();

    CallerBuffer buffer;
    bridge.Function()(c.kind == PathKind::Null ? nullptr : path.c_str(), buffer.Data());
    EXPECT_TRUE(buffer.Untouched()) << "buffer now holds \"" << Narrow(buffer.Text()) << "\"";
    EXPECT_TRUE(buffer.GuardIntact());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, NoVersion,
    ::testing::Values(NoVersionCase{"NullPath", PathKind::Null, nullptr},
                      NoVersionCase{"EmptyPath", PathKind::Literal, L""},
                      NoVersionCase{"MissingFile", PathKind::Literal, L"C:\\no such folder\\DK.mkt"},
                      NoVersionCase{"Folder", PathKind::MarketFolder, nullptr}),
    [](const ::testing::TestParamInfo<NoVersionCase>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    MarketFiles, NoVersion,
    ::testing::Values(NoVersionCase{"EmptyFile", PathKind::Fixture, L"empty_file"},
                      NoVersionCase{"LengthNotMultipleOf8", PathKind::Fixture, L"truncated"},
                      NoVersionCase{"PaddingOfZeros", PathKind::Fixture, L"bad_padding_zero"},
                      NoVersionCase{"PaddingOfNines", PathKind::Fixture, L"bad_padding_nine"},
                      NoVersionCase{"PaddingBytesDiffer", PathKind::Fixture, L"bad_padding_mixed"},
                      NoVersionCase{"WrongKey", PathKind::Fixture, L"wrong_key"},
                      NoVersionCase{"PaddingOnly", PathKind::Fixture, L"empty_document"},
                      NoVersionCase{"TwoRootElements", PathKind::Fixture, L"two_roots"},
                      NoVersionCase{"NotWellFormed", PathKind::Fixture, L"not_well_formed"},
                      NoVersionCase{"Latin1WithoutDeclaration", PathKind::Fixture, L"latin1_undeclared"},
                      NoVersionCase{"DefaultNamespace", PathKind::Fixture, L"default_namespace"},
                      NoVersionCase{"PrefixedNamespace", PathKind::Fixture, L"prefixed_namespace"},
                      NoVersionCase{"RootNameCase", PathKind::Fixture, L"wrong_root"},
                      NoVersionCase{"NoVersionElement", PathKind::Fixture, L"no_version"},
                      NoVersionCase{"VersionNotAChildOfMarket", PathKind::Fixture, L"nested_version"},
                      NoVersionCase{"FirstVersionLacksAttribute", PathKind::Fixture, L"first_version_incomplete"},
                      NoVersionCase{"AttributeNameCase", PathKind::Fixture, L"missing_major"},
                      NoVersionCase{"MissingDataVersion", PathKind::Fixture, L"missing_data_version"},
                      NoVersionCase{"InternalDtd", PathKind::Fixture, L"dtd_internal"},
                      NoVersionCase{"ExternalDtd", PathKind::Fixture, L"dtd_external"}),
    [](const ::testing::TestParamInfo<NoVersionCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace bridgetest
