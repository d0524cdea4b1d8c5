#include "variant.h"

#include "wide.h"

namespace emu {

CIMTYPE cimTypeOf(CimType type) {
  switch (type) {
    case CimType::Boolean: return CIM_BOOLEAN;
    case CimType::Uint8: return CIM_UINT8;
    case CimType::Uint32: return CIM_UINT32;
    case CimType::Sint32: return CIM_SINT32;
    case CimType::String: return CIM_STRING;
  }
  return CIM_EMPTY;
}

HRESULT toVariant(const Value& value, CimType type, VARIANT* out) {
  if (std::holds_alternative<std::monostate>(value)) {
    V_VT(out) = VT_NULL;
    return S_OK;
  }
  switch (type) {
    case CimType::Boolean:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = std::get<bool>(value) ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    case CimType::Uint8:
      V_VT(out) = VT_UI1;
      V_UI1(out) = static_cast<BYTE>(std::get<std::int64_t>(value));
      return S_OK;
    case CimType::Uint32:
    case CimType::Sint32:
      V_VT(out) = VT_I4;
      V_I4(out) = static_cast<LONG>(static_cast<std::uint32_t>(std::get<std::int64_t>(value)));
      return S_OK;
    case CimType::String: {
      std::wstring w = toWide(std::get<std::string>(value));
      BSTR b = SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
      if (!b) return WBEM_E_OUT_OF_MEMORY;
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = b;
      return S_OK;
    }
  }
  return WBEM_E_FAILED;
}

std::optional<Value> fromVariant(const VARIANT* v) {
  if (!v) return Value();
  switch (V_VT(v)) {
    case VT_EMPTY:
    case VT_NULL: return Value();
    case VT_BSTR:
      return Value(V_BSTR(v) ? toUtf8({V_BSTR(v), SysStringLen(V_BSTR(v))}) : std::string());
    case VT_BOOL: return Value(V_BOOL(v) != VARIANT_FALSE);
    case VT_I1: return Value(std::int64_t{V_I1(v)});
    case VT_I2: return Value(std::int64_t{V_I2(v)});
    case VT_I4: return Value(std::int64_t{V_I4(v)});
    case VT_INT: return Value(std::int64_t{V_INT(v)});
    case VT_I8: return Value(std::int64_t{V_I8(v)});
    case VT_UI1: return Value(std::int64_t{V_UI1(v)});
    case VT_UI2: return Value(std::int64_t{V_UI2(v)});
    case VT_UI4: return Value(std::int64_t{V_UI4(v)});
    case VT_UINT: return Value(std::int64_t{V_UINT(v)});
    case VT_UI8:
      if (V_UI8(v) > 0x7FFFFFFFFFFFFFFFull) return std::nullopt;
      return Value(static_cast<std::int64_t>(V_UI8(v)));
    default: return std::nullopt;
  }
}

}  // namespace emu
