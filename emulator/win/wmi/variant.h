// Conversions between the emulator's property values and COM VARIANTs, the
// way WMI delivers them: uint32 and sint32 as VT_I4, uint8 as VT_UI1,
// boolean as VT_BOOL, string as VT_BSTR, null as VT_NULL.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <wbemcli.h>

#include <optional>

#include "wmi_model.h"

namespace emu {

CIMTYPE cimTypeOf(CimType type);
// Fills an initialised (empty) VARIANT.
HRESULT toVariant(const Value& value, CimType type, VARIANT* out);
// A VARIANT supplied to Put, as a value for coerce(): text, integer or
// boolean. nullopt for VARIANT types WMI would not convert to a property.
std::optional<Value> fromVariant(const VARIANT* v);

}  // namespace emu
