// Pieces shared by the bridge library's Windows sources: owners for COM
// pointers, strings and variants, and the WMI steps every operation is built
// from. Nothing here is exported.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

namespace brindle {

// Owns one reference to a COM interface.
template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // Releases what is held and hands out the slot for a call that fills it.
    T** Put() {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    void Reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

// Owns one BSTR.
class BStr {
public:
    BStr() = default;
    explicit BStr(BSTR s) : m_s(s) {}
    ~BStr() { SysFreeString(m_s); }
    BStr(const BStr&) = delete;
    BStr& operator=(const BStr&) = delete;
    BSTR Get() const { return m_s; }
    explicit operator bool() const { return m_s != nullptr; }

private:
    BSTR m_s = nullptr;
};

// A VARIANT cleared when it goes out of scope.
class Variant {
public:
    Variant() { VariantInit(&m_v); }
    ~Variant() { VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT* Ptr() { return &m_v; }
    const VARIANT& Value() const { return m_v; }

private:
    VARIANT m_v;
};

// A non-owning reference to a callable, so that the object walk below can
// take lambdas without allocating.
template <class Signature>
class FunctionRef;
template <class R, class... Args>
class FunctionRef<R(Args...)> {
public:
    template <class F, class = std::enable_if_t<!std::is_same_v<std::remove_cvref_t<F>, FunctionRef>>>
    FunctionRef(F&& f)  // NOLINT: implicit on purpose, like a function pointer
        : m_object(const_cast<void*>(static_cast<const void*>(&f))),
          m_call([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          }) {}
    R operator()(Args... args) const { return m_call(m_object, std::forward<Args>(args)...); }

private:
    void* m_object;
    R (*m_call)(void*, Args...);
};

// Writes the status text of a WMI result code (its published name, or
// "0x%08x") into a text area of kTextAreaSize bytes.
void WriteStatusText(HRESULT code, char* area);

// Converts narrow text in the calling thread's ANSI code page to a BSTR
// (nullptr when out of memory).
BSTR AnsiToBStr(std::string_view text);

// Server kinds allowed for the WMI objects the bridge creates.
inline constexpr DWORD kServerKinds = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;

// The connection steps every operation starts with: creates the locator,
// connects to the namespace (passing the context, which may be null) and
// sets the proxy blanket on the services proxy. Returns the result code of
// the first call that failed; what was obtained stays in the owners.
HRESULT Connect(BSTR nameSpace, IWbemContext* context, ComPtr<IWbemLocator>& locator,
                ComPtr<IWbemServices>& services);

// The objects a query is run against.
struct QueryTarget {
    BSTR query;
    BSTR nameSpace;
    BSTR language;
};

// Number of objects the query returns, or -1 with the status text of the
// failing call in errorText.
LONG CountObjects(const QueryTarget& target, char* errorText);

enum class Pass { Read, Write };

// Called for each object position in enumeration order. A failure code ends
// the walk and becomes the operation's status text.
using ObjectVisitor = FunctionRef<HRESULT(std::uint64_t position, IWbemClassObject* object,
                                          IWbemServices* services, IWbemContext* context)>;

// The one walk behind every read and write: on one connection, checks with
// a first query that the query returns at least `positions` objects, then
// enumerates the first `positions` objects with a second query (carrying a
// context object for writes) and hands each to `visit`. The connection ends
// with the call. Returns true when every
// position was visited. On false, errorText holds the status text and
// *visited (if given) the number of positions that were handed to `visit`
// successfully. `positions` is a number, not an array, so a far position
// costs no memory.
bool VisitObjects(const QueryTarget& target, std::uint64_t positions, Pass pass, char* errorText,
                  ObjectVisitor visit, std::uint64_t* visited = nullptr);

// Reads one property of an object as narrow text into a text area of
// kTextAreaSize bytes. A null or empty value reads as empty text; arrays and
// values without a text form fail with WBEM_E_TYPE_MISMATCH; texts longer
// than the area are cut at a character boundary.
HRESULT ReadValueText(IWbemClassObject* object, BSTR property, char* area);

// Puts a text value into one property of an object and stores the object.
HRESULT WriteValueText(IWbemClassObject* object, BSTR property, BSTR text, IWbemServices* services,
                       IWbemContext* context);

// Lets go of the firmware event subscriptions kept for a window on this
// thread, leaving them running; the bridge object's destructor calls it
// before it uninitialises COM, which the kept objects belong to.
void ForgetSubscriptions(HWND window);

}  // namespace brindle
