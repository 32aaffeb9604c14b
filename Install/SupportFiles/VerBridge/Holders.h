// Small owners for the handles and COM resources of one version query. Each one
// releases what it holds when it goes out of scope, so no early return can leak.
#pragma once

#include <windows.h>
#include <wincrypt.h>
#include <objbase.h>
#include <oleauto.h>

namespace VerBridge {

class FileHandle {
public:
    FileHandle() noexcept = default;
    ~FileHandle() { Close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    void Reset(HANDLE handle) noexcept
    {
        Close();
        m_handle = handle;
    }
    void Close() noexcept
    {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
            m_handle = INVALID_HANDLE_VALUE;
        }
    }
    HANDLE Get() const noexcept { return m_handle; }
    bool IsOpen() const noexcept { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

class CryptContext {
public:
    CryptContext() noexcept = default;
    ~CryptContext()
    {
        if (m_provider != 0)
            CryptReleaseContext(m_provider, 0);
    }
    CryptContext(const CryptContext&) = delete;
    CryptContext& operator=(const CryptContext&) = delete;

    HCRYPTPROV* Put() noexcept { return &m_provider; }
    HCRYPTPROV Get() const noexcept { return m_provider; }

private:
    HCRYPTPROV m_provider = 0;
};

class CryptKey {
public:
    CryptKey() noexcept = default;
    ~CryptKey()
    {
        if (m_key != 0)
            CryptDestroyKey(m_key);
    }
    CryptKey(const CryptKey&) = delete;
    CryptKey& operator=(const CryptKey&) = delete;

    HCRYPTKEY* Put() noexcept { return &m_key; }
    HCRYPTKEY Get() const noexcept { return m_key; }

private:
    HCRYPTKEY m_key = 0;
};

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    void Reset() noexcept
    {
        if (m_p != nullptr) {
            m_p->Release();
            m_p = nullptr;
        }
    }
    // For out-parameters: whatever was held is released first.
    T** Put() noexcept
    {
        Reset();
        return &m_p;
    }
    void Swap(ComPtr& other) noexcept
    {
        T* p = m_p;
        m_p = other.m_p;
        other.m_p = p;
    }
    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

class BString {
public:
    BString() noexcept = default;
    explicit BString(BSTR text) noexcept : m_text(text) {}
    ~BString() { SysFreeString(m_text); }
    BString(BString&& other) noexcept : m_text(other.m_text) { other.m_text = nullptr; }
    BString& operator=(BString&& other) noexcept
    {
        if (this != &other) {
            SysFreeString(m_text);
            m_text = other.m_text;
            other.m_text = nullptr;
        }
        return *this;
    }
    BString(const BString&) = delete;
    BString& operator=(const BString&) = delete;

    BSTR* Put() noexcept
    {
        SysFreeString(m_text);
        m_text = nullptr;
        return &m_text;
    }
    BSTR Get() const noexcept { return m_text; }
    // A null BSTR is a valid empty text; these never dereference null.
    UINT Length() const noexcept { return SysStringLen(m_text); }
    const wchar_t* Text() const noexcept { return m_text != nullptr ? m_text : L""; }
    explicit operator bool() const noexcept { return m_text != nullptr; }

private:
    BSTR m_text = nullptr;
};

class Variant {
public:
    Variant() noexcept { VariantInit(&m_value); }
    ~Variant() { VariantClear(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT* Put() noexcept
    {
        VariantClear(&m_value);
        return &m_value;
    }
    const VARIANT& Get() const noexcept { return m_value; }

private:
    VARIANT m_value;
};

class SafeArray {
public:
    SafeArray() noexcept = default;
    ~SafeArray()
    {
        if (m_array != nullptr)
            SafeArrayDestroy(m_array);
    }
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;

    void Reset(SAFEARRAY* array) noexcept
    {
        if (m_array != nullptr)
            SafeArrayDestroy(m_array);
        m_array = array;
    }
    SAFEARRAY* Get() const noexcept { return m_array; }

private:
    SAFEARRAY* m_array = nullptr;
};

// Keeps a SafeArray's data locked for direct access while in scope.
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* array) noexcept : m_array(array)
    {
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(m_array, &data)))
            m_data = static_cast<BYTE*>(data);
    }
    ~SafeArrayData()
    {
        if (m_data != nullptr)
            SafeArrayUnaccessData(m_array);
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;

    BYTE* Get() const noexcept { return m_data; }

private:
    SAFEARRAY* m_array;
    BYTE* m_data = nullptr;
};

// COM for the length of one call. The host may have no apartment (then this one
// is made and removed again), a single-threaded one (this call only adds a
// reference that it gives back) or a multithreaded one (RPC_E_CHANGED_MODE: the
// host's apartment is used as it is and nothing is to be balanced).
class ComApartment {
public:
    ComApartment() noexcept : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_result))
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT m_result;
};

} // namespace VerBridge
