// A scripted WMI stand-in for the bridge tests: while a FakeWmi lives, the
// WMI locator class created on this thread is this fake, so a test decides
// exactly which objects each query returns, what their one property "Value"
// holds, and where the enumeration fails. Every query sees the same class,
// whatever its text.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

struct FakeWmiState {
    std::vector<VARIANT> values;          // property "Value" of object 0, 1, ...
    std::vector<std::size_t> visible;     // objects the 1st, 2nd, ... query returns; the last entry
                                          // repeats; empty: all of them
    std::size_t failPosition = SIZE_MAX;  // the second query's Next fails here
    HRESULT failCode = S_OK;
    int noEnumeratorQuery = -1;           // this query (0 the first) reports success with no enumerator
    std::map<std::size_t, std::wstring> stored;  // texts stored by PutInstance, per position
    int queries = 0;
    int connections = 0;                  // ConnectServer calls
    int openConnections = 0;              // services objects alive now
    std::vector<bool> queryContexts;      // whether each query carried a context
    std::vector<IWbemObjectSink*> sinks;  // handed to ExecNotificationQueryAsync, one reference each
    int cancels = 0;                      // CancelAsyncCall calls that ended a subscription
    HRESULT lostWith = S_OK;              // a failure here: GetObject and CancelAsyncCall fail with
                                          // it, as on a connection whose server is gone

    ~FakeWmiState();
};

class FakeWmi {
public:
    FakeWmi();  // COM must be initialised on this thread
    ~FakeWmi();
    FakeWmi(const FakeWmi&) = delete;
    FakeWmi& operator=(const FakeWmi&) = delete;

    FakeWmiState& State() { return *m_state; }
    // Appends an object whose "Value" is `value` (the fake takes it over).
    void AddObject(VARIANT value);
    bool Registered() const { return m_cookie != 0; }
    // A new object of the fake at `position`: its "Value" (also read as
    // "ZELEvt") is that object's value. One reference for the caller.
    IWbemClassObject* NewObject(std::size_t position);

private:
    std::shared_ptr<FakeWmiState> m_state;
    DWORD m_cookie = 0;
};

// Variant makers for the fake's values.
VARIANT TextValue(const std::wstring& text);
VARIANT IntValue(LONG value);
VARIANT NullValue();
VARIANT EmptyValue();
VARIANT IntArrayValue();
VARIANT ObjectValue();
