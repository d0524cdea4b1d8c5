// The accessible object of a window that draws its content itself: a fixed
// role, a name and a value that the window updates, answered to
// WM_GETOBJECT for the client area, so screen readers read what is drawn.
#pragma once

#include "com_object.h"

#include <windows.h>
#include <oleacc.h>

#include <string>

class WindowAccessible : public ComObject<IAccessible> {
public:
    WindowAccessible(HWND window, LONG role) : m_window(window), m_role(role) {}

    void SetName(std::wstring name) { m_name = std::move(name); }
    void SetValue(std::wstring value) { m_value = std::move(value); }
    const std::wstring& Name() const { return m_name; }
    const std::wstring& Value() const { return m_value; }
    // The window is gone: every later call from a client fails cleanly.
    void Detach() { m_window = nullptr; }

    // The answer to WM_GETOBJECT: this object for the client area, the
    // system's default for anything else. (The interface's id is taken from
    // its declaration, not from the accessibility library's import library,
    // where a program that loads that library late finds a stub instead.)
    LRESULT Answer(WPARAM wParam, LPARAM lParam, bool& handled) {
        handled = false;
        if (!m_window || static_cast<LONG>(lParam) != OBJID_CLIENT) return 0;
        handled = true;
        return LresultFromObject(__uuidof(IAccessible), wParam, static_cast<IAccessible*>(this));
    }

    // IDispatch: the accessible methods are called directly, never by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count) *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IAccessible: one object without children.
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override {
        if (!parent) return E_POINTER;
        *parent = nullptr;
        if (!m_window) return E_FAIL;
        return AccessibleObjectFromWindow(m_window, static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                          reinterpret_cast<void**>(parent));
    }
    HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT, IDispatch** child) override {
        if (child) *child = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
        return Text(child, m_name, name);
    }
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
        return Text(child, m_value, value);
    }
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
        return Text(child, {}, text);
    }
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
        if (!role) return E_POINTER;
        VariantInit(role);
        if (!IsSelf(child)) return E_INVALIDARG;
        role->vt = VT_I4;
        role->lVal = m_role;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
        if (!state) return E_POINTER;
        VariantInit(state);
        if (!IsSelf(child)) return E_INVALIDARG;
        state->vt = VT_I4;
        state->lVal = STATE_SYSTEM_READONLY;
        if (!m_window || !IsWindowVisible(m_window)) state->lVal |= STATE_SYSTEM_INVISIBLE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return Text(child, {}, help); }
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
        if (file) *file = nullptr;
        if (topic) *topic = 0;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* keys) override {
        return Text(child, {}, keys);
    }
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* focus) override {
        if (!focus) return E_POINTER;
        VariantInit(focus);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* selection) override {
        if (!selection) return E_POINTER;
        VariantInit(selection);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
        return Text(child, {}, action);
    }
    HRESULT STDMETHODCALLTYPE accSelect(LONG, VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
        if (!left || !top || !width || !height) return E_POINTER;
        *left = *top = *width = *height = 0;
        if (!IsSelf(child)) return E_INVALIDARG;
        RECT client = {};
        if (!m_window || !GetClientRect(m_window, &client)) return E_FAIL;
        POINT origin = {0, 0};
        ClientToScreen(m_window, &origin);
        *left = origin.x;
        *top = origin.y;
        *width = client.right - client.left;
        *height = client.bottom - client.top;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accNavigate(LONG, VARIANT, VARIANT* end) override {
        if (end) VariantInit(end);
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* hit) override {
        if (!hit) return E_POINTER;
        VariantInit(hit);
        RECT client = {};
        POINT at = {x, y};
        if (!m_window || !GetClientRect(m_window, &client) || !ScreenToClient(m_window, &at) || !PtInRect(&client, at))
            return S_FALSE;
        hit->vt = VT_I4;
        hit->lVal = CHILDID_SELF;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT) override { return DISP_E_MEMBERNOTFOUND; }
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

protected:
    void* OtherInterface(REFIID iid) override {
        return IsEqualIID(iid, IID_IDispatch) ? static_cast<IDispatch*>(this) : nullptr;
    }

private:
    static bool IsSelf(const VARIANT& child) { return child.vt == VT_I4 && child.lVal == CHILDID_SELF; }
    // An empty text is reported as none (S_FALSE), as the system's objects do.
    static HRESULT Text(const VARIANT& child, const std::wstring& text, BSTR* out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsSelf(child)) return E_INVALIDARG;
        if (text.empty()) return S_FALSE;
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }

    HWND m_window;
    LONG m_role;
    std::wstring m_name;
    std::wstring m_value;
};
