#include "SetupDriver.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <new>

namespace {

struct Flags {
    bool hasArgs, silent, uninstall, webUpdate, fSwitch, prereqs, whiteList;
    bool operator==(const Flags& o) const
    {
        return hasArgs == o.hasArgs && silent == o.silent && uninstall == o.uninstall &&
               webUpdate == o.webUpdate && fSwitch == o.fSwitch && prereqs == o.prereqs &&
               whiteList == o.whiteList;
    }
};

std::ostream& operator<<(std::ostream& os, const Flags& f)
{
    return os << "hasArgs=" << f.hasArgs << " silent=" << f.silent << " uninstall=" << f.uninstall
              << " webUpdate=" << f.webUpdate << " f=" << f.fSwitch << " prereqs=" << f.prereqs
              << " whiteList=" << f.whiteList;
}

struct Case {
    const wchar_t* commandLine;
    Flags flags;
    const wchar_t* args;
};

//                 hasArgs silent uninst web   f      prereqs white
const Flags kNone{false, false, false, false, false, true, false};
const Flags kArgs{true, false, false, false, false, true, false};
const Flags kSilent{true, true, false, false, false, true, false};

Flags With(Flags f, bool Flags::*flag, bool value)
{
    f.*flag = value;
    return f;
}

TEST(CommandLine, SwitchesSetFlagsAndTheRestIsPassedOn)
{
    const Case cases[] = {
        {L"Setup.exe", kNone, L""},
        {L"\"C:\\My Medium\\Setup.exe\"", kNone, L""},
        {L"Setup.exe /S /Q", kSilent, L"/S /Q"},
        {L"Setup.exe /q /v/qn", kSilent, L"/q /v/qn"},
        {L"Setup.exe /V/QN", kArgs, L"/V/QN"},
        {L"Setup.exe /s /webupdate", With(kSilent, &Flags::webUpdate, true), L"/s "},
        {L"Setup.exe /webupdate /s", With(kSilent, &Flags::webUpdate, true), L"/s"},
        {L"Setup.exe /webupdate", With(kArgs, &Flags::webUpdate, true), L""},
        {L"Setup.exe /WEBUPDATE", With(kArgs, &Flags::webUpdate, true), L""},
        {L"Setup.exe /X", With(kArgs, &Flags::uninstall, true), L"/X"},
        {L"Setup.exe /F", With(kArgs, &Flags::fSwitch, true), L""},
        {L"Setup.exe /NOPREREQS", With(kArgs, &Flags::prereqs, false), L""},
        {L"Setup.exe /noPrereqs /noprereqs", With(kArgs, &Flags::prereqs, false), L""},
        {L"Setup.exe /WhiteList", With(kArgs, &Flags::whiteList, true), L""},
        {L"Setup.exe /v\"COUNTRY=DE\"", kArgs, L"/vCOUNTRY=DE"},
        {L"Setup.exe \"INSTALLDIR=C:\\Program Files\\X\" /x", With(kArgs, &Flags::uninstall, true),
         L"INSTALLDIR=C:\\Program Files\\X /x"},
        {L"Setup.exe A A /x /x", With(kArgs, &Flags::uninstall, true), L"A A /x /x"},
        {L"Setup.exe /xy /ss /webupdates", kArgs, L"/xy /ss /webupdates"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testsupport::Narrow(c.commandLine));
        SetupDriver driver;
        driver.ParseCommandLineText(c.commandLine);
        const Flags flags{driver.m_bHasArgs, driver.m_bSilent,  driver.m_bUninstall, driver.m_bWebUpdate,
                          driver.m_bFSwitch, driver.m_bPrereqs, driver.m_bWhiteList};
        EXPECT_EQ(c.flags, flags);
        EXPECT_STREQ(c.args, driver.m_szArgs);
    }
}

TEST(CommandLine, OverlongArgumentsAreCutAndLaterSwitchesStillCount)
{
    // The driver sits in a buffer with a guard area behind it: m_szArgs is its last field.
    const size_t guardSize = 64;
    alignas(SetupDriver) unsigned char storage[sizeof(SetupDriver) + guardSize];
    memset(storage + sizeof(SetupDriver), 0xAB, guardSize);
    SetupDriver* driver = new (storage) SetupDriver;

    const std::wstring huge(5000, L'A');
    const std::wstring commandLine = L"Setup.exe " + huge + L" /s " + huge + L" /webupdate";
    driver->ParseCommandLineText(commandLine.c_str());
    EXPECT_TRUE(driver->m_bSilent);
    EXPECT_TRUE(driver->m_bWebUpdate);
    EXPECT_EQ(std::wstring(kTextSize - 1, L'A'), driver->m_szArgs);
    driver->~SetupDriver();

    for (size_t i = 0; i < guardSize; ++i)
        ASSERT_EQ(0xAB, storage[sizeof(SetupDriver) + i]) << "written past the driver at " << i;
}

} // namespace
