#include "SetupDriver.h"

SetupDriver::SetupDriver()
    : m_bSilent(false),
      m_bUninstall(false),
      m_bPatchFolder(false),
      m_bWebUpdate(false),
      m_bPatchFound(false),
      m_bHasArgs(false),
      m_bFSwitch(false),
      m_bPrereqs(true),
      m_bWhiteList(false),
      m_bRebootRequired(false)
{
    ClearTexts();
}

SetupDriver::~SetupDriver()
{
    // The log closes first; both catalogue references go before COM is shut down.
    m_ofsLog.Close();
    m_pMarketsRoot.Reset();
    m_pMarketsDoc.Reset();
}

int SetupDriver::Run()
{
    InitPaths();
    ParseCommandLine();

    if (!LoadMarketsXml())
        return -1;
    ReadProductInformation();
    if (m_szProductCode[0] == L'\0')
        return 0;

    WriteLog(L"Setup ends here: the start-up checks and the installation steps are not part of this build.");
    return 0;
}
