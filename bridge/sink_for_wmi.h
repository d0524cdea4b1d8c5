// The sink interface WMI is to call for an asynchronous subscription: a stub
// of the sink made by the unsecured apartment, so that WMI's calls need no
// access check against this process. Where no apartment is registered (Wine,
// stripped-down systems) or it makes no stub, the sink itself is handed over,
// so events still arrive. Shared by the firmware and brightness subscriptions.
#pragma once

#include "internal.h"

namespace brindle {

inline void SinkForWmi(IWbemObjectSink* sink, ComPtr<IWbemObjectSink>& target) {
    ComPtr<IUnsecuredApartment> apartment;
    ComPtr<IUnknown> stub;
    if (SUCCEEDED(CoCreateInstance(CLSID_UnsecuredApartment, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnsecuredApartment,
                                   apartment.PutVoid())) &&
        SUCCEEDED(apartment->CreateObjectStub(sink, stub.Put())) && stub &&
        SUCCEEDED(stub->QueryInterface(IID_IWbemObjectSink, target.PutVoid())) && target) {
        return;
    }
    sink->AddRef();
    *target.Put() = sink;
}

}  // namespace brindle
