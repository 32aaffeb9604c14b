#pragma once

#include <windows.h>
#include <oleauto.h>

// Owns one COM reference and releases it when it goes out of scope.
template <class T> class ComRef {
public:
    ComRef() : m_p(nullptr) {}
    ~ComRef() { Reset(); }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out-parameters: drops the current reference first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset()
    {
        if (m_p != nullptr) {
            m_p->Release();
            m_p = nullptr;
        }
    }

private:
    T* m_p;
};

// Owns one BSTR.
class BStr {
public:
    explicit BStr(const wchar_t* text) : m_b(SysAllocString(text)) {}
    ~BStr() { SysFreeString(m_b); }
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;

    BSTR Get() const { return m_b; }
    explicit operator bool() const { return m_b != nullptr; }

private:
    BSTR m_b;
};

// Owns one VARIANT and clears it when it goes out of scope.
class Variant {
public:
    Variant() { VariantInit(&m_v); }
    ~Variant() { VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() { return m_v; }
    VARIANT* Receive()
    {
        VariantClear(&m_v);
        return &m_v;
    }

private:
    VARIANT m_v;
};
