#include "SetupDriver.h"

namespace {

// MSXML 3.0 DOMDocument and its IXMLDOMDocument2 interface.
const CLSID kClsidDomDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const IID kIidXmlDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

const wchar_t kLoadFailed[] = L"Could not load the markets xml file.";

// Copies the named attribute's text into field; an absent attribute leaves it as it is.
// A value longer than the field is cut.
void ReadAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, wchar_t (&field)[kTextSize])
{
    BStr attributeName(name);
    ComRef<IXMLDOMNode> attribute;
    if (!attributeName || attributes->getNamedItem(attributeName.Get(), attribute.Receive()) != S_OK ||
        !attribute)
        return;
    Variant value;
    if (FAILED(attribute->get_nodeValue(value.Receive())) || value.Get().vt != VT_BSTR)
        return;
    TextCopy(field, value.Get().bstrVal != nullptr ? value.Get().bstrVal : L"");
}

} // namespace

bool SetupDriver::LoadMarketsXml()
{
    bool loaded = false;
    Variant path;
    path.Get().vt = VT_BSTR;
    path.Get().bstrVal = SysAllocString(m_szMarketsXml);
    if (path.Get().bstrVal != nullptr &&
        SUCCEEDED(CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_ALL, kIidXmlDomDocument2,
                                   m_pMarketsDoc.ReceiveVoid()))) {
        // The document is read completely before load returns.
        m_pMarketsDoc->put_async(VARIANT_FALSE);
        VARIANT_BOOL complete = VARIANT_FALSE;
        loaded = SUCCEEDED(m_pMarketsDoc->load(path.Get(), &complete)) && complete == VARIANT_TRUE &&
                 m_pMarketsDoc->get_documentElement(m_pMarketsRoot.Receive()) == S_OK &&
                 m_pMarketsRoot;
    }
    if (!loaded) {
        if (m_bSilent)
            WriteLog(kLoadFailed);
        else
            MessageBoxW(nullptr, kLoadFailed, L"Setup", MB_OK | MB_ICONERROR);
    }
    return loaded;
}

void SetupDriver::ReadProductInformation()
{
    ComRef<IXMLDOMNamedNodeMap> attributes;
    if (m_pMarketsRoot && SUCCEEDED(m_pMarketsRoot->get_attributes(attributes.Receive())) &&
        attributes) {
        ReadAttribute(attributes.Get(), L"ProductCode", m_szProductCode);
        ReadAttribute(attributes.Get(), L"ExeName", m_szExeName);
        if (m_szExeName[0] != L'\0')
            TextAppend(m_szExeName, L".exe");
        ReadAttribute(attributes.Get(), L"ProductName", m_szProductName);
        ReadAttribute(attributes.Get(), L"Brand", m_szBrand);
        ReadAttribute(attributes.Get(), L"ProductVersion", m_szProductVersion);
        ReadAttribute(attributes.Get(), L"NextPatchProductVersion", m_szNextPatchProductVersion);
    }
    WriteLogFormat(L"Product Information:\r\n\tProductCode: %ls\r\n\tExeName: %ls\r\n\tProductName: "
                   L"%ls\r\n\tBrand: %ls\r\n\tProductVer: %ls\r\n\tNextPatch Ver: %ls",
                   m_szProductCode, m_szExeName, m_szProductName, m_szBrand, m_szProductVersion,
                   m_szNextPatchProductVersion);
}
