#include "DriverTestSupport.h"

#include <gtest/gtest.h>

using testsupport::Narrow;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

struct ProductFields {
    std::wstring productCode, exeName, productName, brand, productVersion, nextVersion;
    bool operator==(const ProductFields& o) const
    {
        return productCode == o.productCode && exeName == o.exeName && productName == o.productName &&
               brand == o.brand && productVersion == o.productVersion && nextVersion == o.nextVersion;
    }
};

void PrintTo(const ProductFields& f, std::ostream* os)
{
    *os << "{" << Narrow(f.productCode) << "|" << Narrow(f.exeName) << "|" << Narrow(f.productName)
        << "|" << Narrow(f.brand) << "|" << Narrow(f.productVersion) << "|" << Narrow(f.nextVersion) << "}";
}

ProductFields FieldsOf(const SetupDriver& driver)
{
    return {driver.m_szProductCode, driver.m_szExeName,        driver.m_szProductName,
            driver.m_szBrand,       driver.m_szProductVersion, driver.m_szNextPatchProductVersion};
}

class Catalogue : public testing::Test {
protected:
    // Loads a catalogue with the given text in a silent run, as the run does.
    bool Load(const std::string& xml)
    {
        const std::wstring path = m_temp.Path() + L"Markets\\Markets.xml";
        EXPECT_TRUE(WriteBytes(path, xml));
        return LoadPath(path);
    }

    bool LoadPath(const std::wstring& path)
    {
        m_driver.OpenLog();
        m_driver.m_bSilent = true;
        TextCopy(m_driver.m_szMarketsXml, path.c_str());
        return m_driver.LoadMarketsXml();
    }

    ProductFields Read()
    {
        m_driver.ReadProductInformation();
        return FieldsOf(m_driver);
    }

    ComScope m_com;
    TempFolderScope m_temp;
    SetupDriver m_driver;
};

struct RootCase {
    const char* name;
    std::string root;
    ProductFields fields;
};

void PrintTo(const RootCase& c, std::ostream* os)
{
    *os << c.root;
}

class CatalogueRoot : public Catalogue, public testing::WithParamInterface<RootCase> {};

TEST_P(CatalogueRoot, AttributesFillTheProductFields)
{
    ASSERT_TRUE(Load("<?xml version='1.0' encoding='utf-8'?>\r\n" + GetParam().root));
    EXPECT_EQ(GetParam().fields, Read());
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, CatalogueRoot,
    testing::Values(
        RootCase{"AllSix",
                 "<Markets ProductCode='{6A0D2B1C-1111-2222-3333-444455556666}' ExeName='Corvia' "
                 "ProductName='Corvia' Brand='Valdane' ProductVersion='3.9' NextPatchProductVersion='3.10'/>",
                 {L"{6A0D2B1C-1111-2222-3333-444455556666}", L"Corvia.exe", L"Corvia", L"Valdane", L"3.9",
                  L"3.10"}},
        RootCase{"ExeNameWithExe", "<Anything ProductCode='P' ExeName='App.exe'/>",
                 {L"P", L"App.exe.exe", L"", L"", L"", L""}},
        RootCase{"EmptyExeName", "<Anything ProductCode='P' ExeName=''/>", {L"P", L"", L"", L"", L"", L""}},
        RootCase{"NamesMatchWithCase", "<Anything productcode='P' EXENAME='App' ProductName='Caf&#233;'/>",
                 {L"", L"", L"Caf\u00e9", L"", L"", L""}},
        RootCase{"NoAttributes", "<Anything/>", {}}),
    [](const testing::TestParamInfo<RootCase>& info) { return std::string(info.param.name); });

TEST_F(Catalogue, ProductInformationIsOneLogEntryOfSevenLines)
{
    ASSERT_TRUE(Load("<Markets ProductCode='{P}' ExeName='Corvia' ProductName='Corvia' Brand='Valdane' "
                     "ProductVersion='3.9'/>"));
    Read();
    const std::string bytes = ReadBytes(m_temp.LogPath());
    EXPECT_NE(std::string::npos,
              bytes.find("  Product Information:\r\r\n\tProductCode: {P}\r\r\n\tExeName: Corvia.exe\r\r\n"
                         "\tProductName: Corvia\r\r\n\tBrand: Valdane\r\r\n\tProductVer: 3.9\r\r\n"
                         "\tNextPatch Ver: \r\n"))
        << bytes;
}

TEST_F(Catalogue, OverlongValuesAreCutToTheirFields)
{
    const std::string huge(5000, 'v');
    ASSERT_TRUE(Load("<Markets ProductCode='{P}' ProductName='" + huge + "' Brand='" + huge +
                     "' ProductVersion='" + huge + "' NextPatchProductVersion='" + huge + "' ExeName='" +
                     huge + "'/>"));
    const ProductFields fields = Read();
    const std::wstring cut(kTextSize - 1, L'v');
    EXPECT_EQ(L"{P}", fields.productCode);
    EXPECT_EQ(cut, fields.productName);
    EXPECT_EQ(cut, fields.exeName); // no room left for ".exe"
    EXPECT_EQ(cut, fields.nextVersion);
    // The product information entry is cut to its buffer; the log goes on.
    m_driver.WriteLog(L"next line");
    const std::vector<std::string> lines = testsupport::ReadLogLines(m_temp.LogPath());
    EXPECT_EQ("next line", testsupport::StripTimestamp(lines.back()));
}

TEST_F(Catalogue, AnUnloadableCatalogueIsReportedInTheLogOfASilentRun)
{
    const struct {
        const char* name;
        const char* xml; // nullptr: no file at all
    } cases[] = {
        {"missing", nullptr},
        {"empty", ""},
        {"two roots", "<a ProductCode='P'/><b/>"},
        {"mismatched tags", "<a ProductCode='P'><b></a>"},
        {"duplicate attribute", "<a ProductCode='P' ProductCode='Q'/>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolderScope temp;
        SetupDriver driver;
        driver.OpenLog();
        driver.m_bSilent = true;
        const std::wstring path = temp.Path() + L"Markets.xml";
        if (c.xml != nullptr) {
            ASSERT_TRUE(WriteBytes(path, c.xml));
        }
        TextCopy(driver.m_szMarketsXml, path.c_str());
        EXPECT_FALSE(driver.LoadMarketsXml());
        EXPECT_FALSE(driver.m_pMarketsRoot);
        EXPECT_EQ(std::vector<std::string>{"Could not load the markets xml file."}, temp.LogLines());
    }
}

TEST_F(Catalogue, AnEmptyPathIsNotLoaded)
{
    EXPECT_FALSE(LoadPath(L""));
}

} // namespace
