#include "SetupDriver.h"

#include <shellapi.h>

namespace {

enum class Switch { Uninstall, Silent, WebUpdate, FSwitch, NoPrereqs, WhiteList, None };

struct SwitchEntry {
    const wchar_t* text;
    bool exactCase;
    Switch which;
    bool passedOn; // handed on to the installer stub
};

// Compared in this order; the first match wins.
const SwitchEntry kSwitches[] = {
    {L"/x", false, Switch::Uninstall, true},
    {L"/s", false, Switch::Silent, true},
    {L"/q", true, Switch::Silent, true},
    {L"/v/qn", true, Switch::Silent, true},
    {L"/webupdate", false, Switch::WebUpdate, false},
    {L"/f", false, Switch::FSwitch, false},
    {L"/noPrereqs", false, Switch::NoPrereqs, false},
    {L"/whitelist", false, Switch::WhiteList, false},
};

const SwitchEntry* FindSwitch(const wchar_t* argument)
{
    for (const SwitchEntry& entry : kSwitches) {
        const bool matches = entry.exactCase ? wcscmp(argument, entry.text) == 0
                                             : EqualsNoCase(argument, entry.text);
        if (matches)
            return &entry;
    }
    return nullptr;
}

} // namespace

void SetupDriver::ParseCommandLine()
{
    ParseCommandLineText(GetCommandLineW());
}

void SetupDriver::ParseCommandLineText(const wchar_t* commandLine)
{
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(commandLine, &count);
    if (arguments == nullptr)
        return;
    if (count > 1) {
        m_bHasArgs = true;
        for (int i = 1; i < count; ++i) {
            // An argument too long for the buffer is cut; the stub gets what fits.
            wchar_t argument[kTextSize] = {};
            TextCopy(argument, arguments[i]);

            const SwitchEntry* entry = FindSwitch(argument);
            switch (entry != nullptr ? entry->which : Switch::None) {
            case Switch::Uninstall: m_bUninstall = true; break;
            case Switch::Silent: m_bSilent = true; break;
            case Switch::WebUpdate: m_bWebUpdate = true; break;
            case Switch::FSwitch: m_bFSwitch = true; break;
            case Switch::NoPrereqs: m_bPrereqs = false; break;
            case Switch::WhiteList: m_bWhiteList = true; break;
            case Switch::None: break;
            }

            if (entry == nullptr || entry->passedOn) {
                TextAppend(m_szArgs, argument);
                if (i + 1 < count)
                    TextAppend(m_szArgs, L" ");
            }
        }
    }
    LocalFree(arguments);
}
