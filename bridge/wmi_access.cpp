// WMI property access: counting the objects of a query, reading one property
// of each object as text and writing one property of chosen objects.
#include "Brindle.h"
#include "internal.h"

#include "access_rules.h"
#include "text_fit.h"

namespace brindle {
namespace {

// One command's connection: the locator and the services proxy, with its
// blanket set. Both passes of a command (the count, then the read or write)
// run their queries on it; it lives no longer than the call.
struct Connection {
    ComPtr<IWbemLocator> locator;
    ComPtr<IWbemServices> services;
};

// Runs the query on a connection. A provider that reports success without
// an enumerator has failed the query.
HRESULT RunQuery(const Connection& c, const QueryTarget& target, IWbemContext* context, long flags,
                 ComPtr<IEnumWbemClassObject>& objects) {
    HRESULT hr = c.services->ExecQuery(target.language, target.query, flags, context, objects.Put());
    if (SUCCEEDED(hr) && !objects) return WBEM_E_FAILED;
    return hr;
}

// Fetches the next object: S_OK with `object` set, WBEM_S_FALSE at the end,
// or the failure code of the enumerator.
HRESULT NextObject(IEnumWbemClassObject* objects, ComPtr<IWbemClassObject>& object) {
    ULONG returned = 0;
    HRESULT hr = objects->Next(WBEM_INFINITE, 1, object.Put(), &returned);
    if (FAILED(hr)) return hr;
    if (returned == 0 || !object) return WBEM_S_FALSE;
    return S_OK;
}

void WriteText(const char* text, char* area) {
    if (area) CopyToTextArea(text, area);
}

// Converts wide text into a text area in the ANSI code page, cutting it at a
// character boundary when its narrow form does not fit.
void NarrowInto(const wchar_t* text, UINT length, char* area) {
    constexpr int kCapacity = static_cast<int>(kTextAreaSize) - 1;
    int units = static_cast<int>(length);
    int needed = length == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text, units, nullptr, 0, nullptr, nullptr);
    if (needed > kCapacity) {
        units = static_cast<int>(FitCharacters(text, length, kCapacity, [](const wchar_t* first, std::size_t count) {
            return static_cast<std::size_t>(
                WideCharToMultiByte(CP_ACP, 0, first, static_cast<int>(count), nullptr, 0, nullptr, nullptr));
        }));
    }
    int written = units == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text, units, area, kCapacity, nullptr, nullptr);
    area[written > 0 ? written : 0] = '\0';
}

}  // namespace

HRESULT Connect(BSTR nameSpace, IWbemContext* context, ComPtr<IWbemLocator>& locator,
                ComPtr<IWbemServices>& services) {
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, kServerKinds, IID_IWbemLocator, locator.PutVoid());
    if (FAILED(hr)) return hr;
    hr = locator->ConnectServer(nameSpace, nullptr, nullptr, nullptr, 0, nullptr, context, services.Put());
    if (FAILED(hr)) return hr;
    return CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

BSTR AnsiToBStr(std::string_view text) {
    int length = static_cast<int>(text.size());
    int units = length == 0 ? 0 : MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, nullptr, 0);
    BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (result && units > 0) MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), length, result, units);
    return result;
}

namespace {

// Number of objects the query returns on a connection, or -1 with the status
// text of the failing call.
LONG CountOn(const Connection& c, const QueryTarget& target, char* errorText) {
    ComPtr<IEnumWbemClassObject> objects;
    HRESULT hr = RunQuery(c, target, nullptr, WBEM_FLAG_RETURN_IMMEDIATELY | WBEM_FLAG_FORWARD_ONLY, objects);
    if (FAILED(hr)) {
        WriteStatusText(hr, errorText);
        return -1;
    }
    LONG count = 0;
    for (;;) {
        ComPtr<IWbemClassObject> object;
        hr = NextObject(objects.Get(), object);
        if (FAILED(hr)) {
            WriteStatusText(hr, errorText);
            return -1;
        }
        if (hr == WBEM_S_FALSE) return count;
        ++count;
    }
}

bool ConnectOrReport(const QueryTarget& target, Connection& c, char* errorText) {
    HRESULT hr = Connect(target.nameSpace, nullptr, c.locator, c.services);
    if (SUCCEEDED(hr)) return true;
    WriteStatusText(hr, errorText);
    return false;
}

}  // namespace

LONG CountObjects(const QueryTarget& target, char* errorText) {
    Connection c;
    if (!ConnectOrReport(target, c, errorText)) return -1;
    return CountOn(c, target, errorText);
}

bool VisitObjects(const QueryTarget& target, std::uint64_t positions, Pass pass, char* errorText,
                  ObjectVisitor visit, std::uint64_t* visited) {
    if (visited) *visited = 0;
    Connection c;
    if (!ConnectOrReport(target, c, errorText)) return false;
    switch (CheckCount(CountOn(c, target, errorText), positions)) {
        case CountVerdict::CountFailed:
            return false;
        case CountVerdict::NoObjects:
            WriteText(kNoObjectsText, errorText);
            return false;
        case CountVerdict::TooFewObjects:
            WriteText(kTooFewObjectsText, errorText);
            return false;
        case CountVerdict::Proceed:
            break;
    }

    ComPtr<IWbemContext> context;
    if (pass == Pass::Write) {
        HRESULT hr = CoCreateInstance(CLSID_WbemContext, nullptr, kServerKinds, IID_IWbemContext, context.PutVoid());
        if (FAILED(hr)) {
            WriteStatusText(hr, errorText);
            return false;
        }
    }
    ComPtr<IEnumWbemClassObject> objects;
    HRESULT hr = RunQuery(c, target, context.Get(), WBEM_FLAG_RETURN_IMMEDIATELY, objects);
    if (FAILED(hr)) {
        WriteStatusText(hr, errorText);
        return false;
    }
    for (std::uint64_t i = 0; i < positions; ++i) {
        ComPtr<IWbemClassObject> object;
        hr = NextObject(objects.Get(), object);
        if (hr == WBEM_S_FALSE) {
            // Objects went away after they were counted: the position does not exist any more.
            WriteText(kTooFewObjectsText, errorText);
            return false;
        }
        if (SUCCEEDED(hr)) hr = visit(i, object.Get(), c.services.Get(), context.Get());
        if (FAILED(hr)) {
            WriteStatusText(hr, errorText);
            return false;
        }
        if (visited) *visited = i + 1;
    }
    return true;
}

HRESULT ReadValueText(IWbemClassObject* object, BSTR property, char* area) {
    Variant value;
    HRESULT hr = object->Get(property, 0, value.Ptr(), nullptr, nullptr);
    if (FAILED(hr)) return hr;

    VARIANT& v = *value.Ptr();
    if (v.vt == VT_EMPTY || v.vt == VT_NULL) {
        if (area) area[0] = '\0';
        return S_OK;
    }
    if (v.vt & (VT_ARRAY | VT_BYREF)) return WBEM_E_TYPE_MISMATCH;
    Variant converted;
    const VARIANT* text = &v;
    if (v.vt != VT_BSTR) {
        if (FAILED(VariantChangeType(converted.Ptr(), &v, 0, VT_BSTR))) return WBEM_E_TYPE_MISMATCH;
        text = &converted.Value();
    }
    if (area) NarrowInto(text->bstrVal, SysStringLen(text->bstrVal), area);
    return S_OK;
}

HRESULT WriteValueText(IWbemClassObject* object, BSTR property, BSTR text, IWbemServices* services,
                       IWbemContext* context) {
    VARIANT value;  // borrows the caller's string: not cleared here
    value.vt = VT_BSTR;
    value.bstrVal = text;
    HRESULT hr = object->Put(property, 0, &value, 0);
    if (FAILED(hr)) return hr;
    return services->PutInstance(object, WBEM_FLAG_UPDATE_ONLY, context, nullptr);
}

}  // namespace brindle

using brindle::QueryTarget;

LONG CBrindle::GetPropertyInstanceNumber(BSTR query, char* errorText, BSTR nameSpace, BSTR language) {
    return brindle::CountObjects(QueryTarget{query, nameSpace, language}, errorText);
}

BOOL CBrindle::QueryWMIProperty(BSTR query, BSTR* propertyName, CValueArray& values, char* errorText,
                                BSTR nameSpace, BSTR language) {
    if (!propertyName) {
        brindle::WriteStatusText(WBEM_E_INVALID_PARAMETER, errorText);
        return FALSE;
    }
    const INT_PTR size = values.GetSize();
    std::uint64_t filled = 0;
    bool ok = brindle::VisitObjects(
        QueryTarget{query, nameSpace, language}, static_cast<std::uint64_t>(size), brindle::Pass::Read, errorText,
        [&](std::uint64_t i, IWbemClassObject* object, IWbemServices*, IWbemContext*) {
            return brindle::ReadValueText(object, *propertyName, static_cast<char*>(values.GetAt(static_cast<INT_PTR>(i))));
        },
        &filled);
    if (!ok) {
        // Nothing stale or half-written is left behind: every element not
        // filled by this call holds an empty text.
        for (INT_PTR i = static_cast<INT_PTR>(filled); i < size; ++i) {
            if (char* area = static_cast<char*>(values.GetAt(i))) area[0] = '\0';
        }
    }
    return ok ? TRUE : FALSE;
}

BOOL CBrindle::SetWMIProperty(BSTR query, BSTR* propertyName, CValueArray& values, char* errorText,
                              BSTR nameSpace, BSTR language) {
    if (!propertyName) {
        brindle::WriteStatusText(WBEM_E_INVALID_PARAMETER, errorText);
        return FALSE;
    }
    bool ok = brindle::VisitObjects(
        QueryTarget{query, nameSpace, language}, static_cast<std::uint64_t>(values.GetSize()), brindle::Pass::Write,
        errorText, [&](std::uint64_t i, IWbemClassObject* object, IWbemServices* services, IWbemContext* context) {
            BSTR text = static_cast<BSTR>(values.GetAt(static_cast<INT_PTR>(i)));
            if (!text || text[0] == L'\0') return S_OK;  // an empty element leaves its object alone
            return brindle::WriteValueText(object, *propertyName, text, services, context);
        });
    return ok ? TRUE : FALSE;
}
