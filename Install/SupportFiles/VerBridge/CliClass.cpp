#include "CliClass.h"

#include "Trace.h"

#include <windows.h>
#include <wincrypt.h>
#include <objbase.h>
#include <oleauto.h>
#include <msxml2.h>
#include <strsafe.h>

namespace VerBridge {

namespace {

// The import libraries of MinGW carry no MSXML identifiers.
const CLSID kClsidDomDocument30 = {0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
const IID kIidXmlDomDocument2 = {0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// The market file key: the ASCII bytes of this text, used as they are (no parity
// adjustment). ECB ignores an initialisation vector; the same bytes are set as one.
const char kKeyText[] = "KELPMIX$";
const DWORD kKeyLength = 8;
const DWORD kDesBlock = 8;

// A market file is a few kilobytes; anything beyond this is not one, and reading
// it whole (it is parsed whole anyway) would only cost memory.
const DWORD kMaxMarketFileBytes = 64UL * 1024 * 1024;

// One failure message; long platform texts are cut, never overrun.
struct Message {
    wchar_t text[768] = L"";

    void Set(const wchar_t* first, const wchar_t* second = nullptr) noexcept
    {
        StringCchCopyW(text, ARRAYSIZE(text), first);
        if (second != nullptr)
            StringCchCatW(text, ARRAYSIZE(text), second);
    }

    void Append(const wchar_t* more) noexcept { StringCchCatW(text, ARRAYSIZE(text), more); }

    // first, then the system's text for a Win32 error or HRESULT and its number.
    void SetError(const wchar_t* first, DWORD code) noexcept
    {
        Set(first);
        wchar_t system[512] = L"";
        DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      code, 0, system, ARRAYSIZE(system), nullptr);
        while (length > 0 && (system[length - 1] == L'\r' || system[length - 1] == L'\n' ||
                              system[length - 1] == L' '))
            system[--length] = L'\0';
        if (length > 0) {
            StringCchCatW(text, ARRAYSIZE(text), system);
            StringCchCatW(text, ARRAYSIZE(text), L" ");
        }
        wchar_t number[32] = L"";
        if (code <= 0xFFFF)
            StringCchPrintfW(number, ARRAYSIZE(number), L"(error %lu)", static_cast<unsigned long>(code));
        else
            StringCchPrintfW(number, ARRAYSIZE(number), L"(0x%08lX)", static_cast<unsigned long>(code));
        StringCchCatW(text, ARRAYSIZE(text), number);
    }
};

bool Equals(const BString& value, const wchar_t* expected) noexcept
{
    const UINT length = value.Length();
    const wchar_t* text = value.Text();
    for (UINT i = 0; i < length; ++i) {
        if (expected[i] == L'\0' || expected[i] != text[i])
            return false;
    }
    return expected[length] == L'\0';
}

bool OpenMarketFile(const wchar_t* filename, FileHandle& file, Message& failure) noexcept
{
    // Others may read the file meanwhile but not change it; a file that is open
    // for writing elsewhere is not opened at all.
    HANDLE handle = CreateFileW(filename, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failure.SetError(L"Failed to open filestream with error: ", GetLastError());
        return false;
    }
    file.Reset(handle);
    return true;
}

bool CreateDecryptor(CryptContext& provider, CryptKey& key, Message& failure) noexcept
{
    const wchar_t* const prefix = L"Failed to create DES Symmetric CryptoStream with error: ";
    if (!CryptAcquireContextW(provider.Put(), nullptr, MS_ENHANCED_PROV_W, PROV_RSA_FULL,
                              CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
        failure.SetError(prefix, GetLastError());
        return false;
    }

    struct {
        BLOBHEADER header;
        DWORD keyLength;
        BYTE key[kKeyLength];
    } blob = {};
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.aiKeyAlg = CALG_DES;
    blob.keyLength = kKeyLength;
    CopyMemory(blob.key, kKeyText, kKeyLength);
    if (!CryptImportKey(provider.Get(), reinterpret_cast<const BYTE*>(&blob), sizeof(blob), 0, 0, key.Put())) {
        failure.SetError(prefix, GetLastError());
        return false;
    }

    DWORD mode = CRYPT_MODE_ECB;
    DWORD padding = PKCS5_PADDING;  // PKCS #5 padding on 8-byte blocks is PKCS #7
    BYTE iv[kKeyLength];
    CopyMemory(iv, kKeyText, kKeyLength);
    if (!CryptSetKeyParam(key.Get(), KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0) ||
        !CryptSetKeyParam(key.Get(), KP_PADDING, reinterpret_cast<const BYTE*>(&padding), 0) ||
        !CryptSetKeyParam(key.Get(), KP_IV, iv, 0)) {
        failure.SetError(prefix, GetLastError());
        return false;
    }
    return true;
}

// Reads the whole file and decrypts it in place; plain receives the XML bytes.
bool ReadPlainText(const FileHandle& file, const CryptKey& key, SafeArray& plain, Message& failure) noexcept
{
    if (GetFileType(file.Get()) != FILE_TYPE_DISK) {
        failure.Set(L"The market file is not a file on disk.");
        return false;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.Get(), &size)) {
        failure.SetError(L"Failed to read the market file: ", GetLastError());
        return false;
    }
    if (size.QuadPart > static_cast<LONGLONG>(kMaxMarketFileBytes)) {
        failure.Set(L"The market file is larger than 64 MiB and is not read.");
        return false;
    }
    const DWORD fileBytes = static_cast<DWORD>(size.QuadPart);
    if (fileBytes == 0) {
        failure.Set(L"The market file is empty: it holds no encrypted data.");
        return false;
    }
    if (fileBytes % kDesBlock != 0) {
        failure.Set(L"Length of the data to decrypt is invalid: a market file is a multiple of 8 bytes.");
        return false;
    }

    plain.Reset(SafeArrayCreateVector(VT_UI1, 0, fileBytes));
    if (plain.Get() == nullptr) {
        failure.SetError(L"Failed to read the market file: ", static_cast<DWORD>(E_OUTOFMEMORY));
        return false;
    }
    DWORD plainBytes = 0;
    {
        SafeArrayData data(plain.Get());
        if (data.Get() == nullptr) {
            failure.SetError(L"Failed to read the market file: ", static_cast<DWORD>(E_UNEXPECTED));
            return false;
        }
        DWORD total = 0;
        while (total < fileBytes) {
            DWORD read = 0;
            if (!ReadFile(file.Get(), data.Get() + total, fileBytes - total, &read, nullptr)) {
                failure.SetError(L"Failed to read the market file: ", GetLastError());
                return false;
            }
            if (read == 0) {
                failure.Set(L"Failed to read the market file: it ended before its stated length.");
                return false;
            }
            total += read;
        }
        // Final: the provider checks the PKCS #7 padding of the last block and removes it.
        plainBytes = fileBytes;
        if (!CryptDecrypt(key.Get(), 0, TRUE, 0, data.Get(), &plainBytes)) {
            failure.SetError(L"Failed to decrypt the market file (wrong key, damaged data or bad padding): ",
                             GetLastError());
            return false;
        }
    }
    if (plainBytes == 0) {
        failure.Set(L"The decrypted market file is empty: root element is missing.");
        return false;
    }
    SAFEARRAYBOUND bound = {plainBytes, 0};
    HRESULT hr = SafeArrayRedim(plain.Get(), &bound);
    if (FAILED(hr)) {
        failure.SetError(L"Failed to read the market file: ", static_cast<DWORD>(hr));
        return false;
    }
    return true;
}

// Element with exactly this name in no namespace. The qualified name is compared
// too, so a prefix that a lenient parser left undeclared does not pass either.
bool IsElementNamed(IXMLDOMNode* node, const wchar_t* name) noexcept
{
    DOMNodeType type = NODE_INVALID;
    if (FAILED(node->get_nodeType(&type)) || type != NODE_ELEMENT)
        return false;
    BString localName;
    BString qualifiedName;
    BString namespaceUri;
    if (FAILED(node->get_baseName(localName.Put())) || FAILED(node->get_nodeName(qualifiedName.Put())) ||
        FAILED(node->get_namespaceURI(namespaceUri.Put())))
        return false;
    return Equals(localName, name) && Equals(qualifiedName, name) && namespaceUri.Length() == 0;
}

bool FindFirstChildElement(IXMLDOMNode* parent, const wchar_t* name, ComPtr<IXMLDOMNode>& found) noexcept
{
    ComPtr<IXMLDOMNode> child;
    if (parent->get_firstChild(child.Put()) != S_OK)
        return false;
    while (child) {
        if (IsElementNamed(child.Get(), name)) {
            found.Swap(child);
            return true;
        }
        ComPtr<IXMLDOMNode> next;
        if (child->get_nextSibling(next.Put()) != S_OK)
            return false;
        child.Swap(next);
    }
    return false;
}

// The value exactly as the parser gives it: no trimming (get_text would trim).
bool ReadAttribute(IXMLDOMNamedNodeMap* attributes, const wchar_t* name, BString& value) noexcept
{
    BString attributeName(SysAllocString(name));
    if (!attributeName)
        return false;
    ComPtr<IXMLDOMNode> attribute;
    if (attributes->getNamedItem(attributeName.Get(), attribute.Put()) != S_OK || !attribute)
        return false;
    Variant nodeValue;
    if (FAILED(attribute->get_nodeValue(nodeValue.Put())) || nodeValue.Get().vt != VT_BSTR)
        return false;
    BSTR text = nodeValue.Get().bstrVal;
    value = BString(SysAllocStringLen(text, SysStringLen(text)));
    return static_cast<bool>(value);
}

void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, bool on) noexcept
{
    BString propertyName(SysAllocString(name));
    if (!propertyName)
        return;
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BOOL;
    value.boolVal = on ? VARIANT_TRUE : VARIANT_FALSE;
    // Older MSXML 3.0 builds do not know every property; the doctype check below
    // refuses a DTD whatever this call achieved.
    document->setProperty(propertyName.Get(), value);
}

bool ParseVersion(SAFEARRAY* plain, BString& version, Message& failure) noexcept
{
    ComPtr<IXMLDOMDocument2> document;
    HRESULT hr = CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                                  reinterpret_cast<void**>(document.Put()));
    if (FAILED(hr)) {
        failure.SetError(L"Failed to create the XML document: ", static_cast<DWORD>(hr));
        return false;
    }
    // The file comes from a medium: parse only what it holds, fetch nothing.
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    SetProperty(document.Get(), L"ProhibitDTD", true);

    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = plain;  // still owned by the caller's holder
    VARIANT_BOOL loaded = VARIANT_FALSE;
    hr = document->load(source, &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) {
        // The parser's reason where it gives one, and where it stopped.
        failure.Set(L"The market file is not a well-formed XML document");
        ComPtr<IXMLDOMParseError> parseError;
        if (SUCCEEDED(document->get_parseError(parseError.Put())) && parseError) {
            BString reason;
            long line = 0;
            long position = 0;
            parseError->get_line(&line);
            parseError->get_linepos(&position);
            if (SUCCEEDED(parseError->get_reason(reason.Put())) && reason.Length() > 0) {
                UINT length = reason.Length();
                while (length > 0 && (reason.Get()[length - 1] == L'\r' || reason.Get()[length - 1] == L'\n' ||
                                      reason.Get()[length - 1] == L' ' || reason.Get()[length - 1] == L'.'))
                    reason.Get()[--length] = L'\0';
                failure.Append(L": ");
                failure.Append(reason.Text());
            }
            if (line > 0) {
                wchar_t where[64] = L"";
                StringCchPrintfW(where, ARRAYSIZE(where), L" (line %ld, position %ld)", line, position);
                failure.Append(where);
            }
        }
        failure.Append(L".");
        return false;
    }

    ComPtr<IXMLDOMDocumentType> doctype;
    if (FAILED(document->get_doctype(doctype.Put())) || doctype) {
        failure.Set(L"The market file has a document type declaration, which is not accepted.");
        return false;
    }

    ComPtr<IXMLDOMElement> root;
    if (document->get_documentElement(root.Put()) != S_OK || !root || !IsElementNamed(root.Get(), L"Market")) {
        failure.Set(L"The root element of the market file is not Market.");
        return false;
    }
    ComPtr<IXMLDOMNode> versionElement;
    if (!FindFirstChildElement(root.Get(), L"Version", versionElement)) {
        failure.Set(L"The Market element has no Version element.");
        return false;
    }
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    if (versionElement->get_attributes(attributes.Put()) != S_OK || !attributes) {
        failure.Set(L"The Version element has no attributes.");
        return false;
    }
    BString major;
    BString minor;
    BString dataVersion;
    if (!ReadAttribute(attributes.Get(), L"Major", major)) {
        failure.Set(L"The Version element has no Major attribute.");
        return false;
    }
    if (!ReadAttribute(attributes.Get(), L"Minor", minor)) {
        failure.Set(L"The Version element has no Minor attribute.");
        return false;
    }
    if (!ReadAttribute(attributes.Get(), L"DataVersion", dataVersion)) {
        failure.Set(L"The Version element has no DataVersion attribute.");
        return false;
    }

    const UINT length = major.Length() + 1 + minor.Length() + 1 + dataVersion.Length();
    BString text(SysAllocStringLen(nullptr, length));
    if (!text) {
        failure.SetError(L"Failed to build the version text: ", static_cast<DWORD>(E_OUTOFMEMORY));
        return false;
    }
    wchar_t* out = text.Get();
    CopyMemory(out, major.Text(), major.Length() * sizeof(wchar_t));
    out += major.Length();
    *out++ = L'.';
    CopyMemory(out, minor.Text(), minor.Length() * sizeof(wchar_t));
    out += minor.Length();
    *out++ = L'.';
    CopyMemory(out, dataVersion.Text(), dataVersion.Length() * sizeof(wchar_t));
    version = static_cast<BString&&>(text);

    WriteTraceLine(L"Major=", major.Text());
    WriteTraceLine(L"Minor=", minor.Text());
    WriteTraceLine(L"DataVersion=", dataVersion.Text());
    return true;
}

} // namespace

BString CliClass::GetVersion(const wchar_t* filename) noexcept
{
    BString result;
    {
        // The provider is declared before the key, so the key is destroyed first.
        CryptContext provider;
        CryptKey key;
        FileHandle file;
        SafeArray plain;
        Message failure;
        bool succeeded = false;
        if (OpenMarketFile(filename, file, failure)) {
            WriteTraceLine(L"Decrypted ", filename, L" file opened successfully");
            WriteTraceLine(L"Instantiate DESCryptoServiceProvider & CryptoStream, decrypting ", filename, L"...");
            if (!CreateDecryptor(provider, key, failure)) {
                file.Close();
            } else if (ReadPlainText(file, key, plain, failure)) {
                succeeded = ParseVersion(plain.Get(), result, failure);
            }
        }
        if (!succeeded)
            WriteTraceLine(failure.text);
        WriteTraceLine(L"Closing the decrypter stream...");
    }
    return result;
}

} // namespace VerBridge
