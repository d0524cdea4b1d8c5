// Per-test overrides of Wine's root\CIMV2 classes (emuctl cimv2): a
// connection made while an override is in place is served through an
// overlay that hands every call to Wine's services, except the instances of
// an overridden class: fewer of them (none at all, if asked), with chosen
// property texts in place of Wine's.
#pragma once

#include <wbemcli.h>

namespace emu {

// Takes over the reference to wine; *out is the overlay.
HRESULT overlayCimv2(IWbemServices* wine, IWbemServices** out);

}  // namespace emu
