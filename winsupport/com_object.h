// The IUnknown part of a COM or callback object written by hand: one
// reference count and a QueryInterface over the listed interfaces, so each
// class implements only its own methods.
#pragma once

#include <windows.h>
#include <unknwn.h>

template <class... Interfaces>
class ComObject : public Interfaces... {
public:
    ComObject() = default;
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *out = static_cast<IUnknown*>(static_cast<First*>(this));
        } else {
            ((*out == nullptr && IsEqualIID(iid, __uuidof(Interfaces)) ? (*out = static_cast<Interfaces*>(this))
                                                                        : nullptr),
             ...);
            if (!*out) *out = OtherInterface(iid);
        }
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

protected:
    // Created with one reference, which the creator owns.
    virtual ~ComObject() = default;
    // An interface the listed ones derive from (IDispatch of a dual
    // interface, for instance), as a pointer of that type; nullptr otherwise.
    virtual void* OtherInterface(REFIID) { return nullptr; }

private:
    template <class T, class...>
    struct FirstOf {
        using Type = T;
    };
    using First = typename FirstOf<Interfaces...>::Type;
    LONG m_references = 1;
};
