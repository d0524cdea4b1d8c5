#include "wmi_model.h"

#include <limits>

#include "text.h"

#if defined(__GNUC__) && !defined(__clang__)
// GCC 12 reports a std::variant holding a std::string, moved into a
// std::optional, as maybe-uninitialized: a known false positive of its inliner.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace emu {
namespace {

// Every ACPI-WMI data block carries InstanceName (its key) and Active.
#define ZEL_ACPI_COMMON                                             \
  {"InstanceName", CimType::String, true, Source::InstanceName},    \
  {"Active", CimType::Boolean, false, Source::Active}

constexpr PropertyDef kDeviceProps[] = {ZEL_ACPI_COMMON,
                                        {"Device", CimType::Uint32, false, Source::Register}};
constexpr PropertyDef kSystemProps[] = {ZEL_ACPI_COMMON,
                                        {"System", CimType::Uint32, false, Source::Register}};
constexpr PropertyDef kSoftwareProps[] = {
    ZEL_ACPI_COMMON,
    {"Software", CimType::Uint32, false, Source::Register},
    {"Label", CimType::String, false, Source::Label}};
constexpr PropertyDef kApProps[] = {ZEL_ACPI_COMMON,
                                    {"AP", CimType::Uint32, false, Source::Register}};
// A method block carries no data property: its value comes from GetULong
// (core/method_class.h).
constexpr PropertyDef kMethodULongProps[] = {ZEL_ACPI_COMMON};
// The display's brightness (a data block of the monitor) and its method block.
constexpr PropertyDef kBrightnessProps[] = {
    ZEL_ACPI_COMMON, {"CurrentBrightness", CimType::Uint8, false, Source::Register}};
constexpr PropertyDef kBrightnessMethodsProps[] = {ZEL_ACPI_COMMON};
#undef ZEL_ACPI_COMMON

// The blocks live on one PNP0C14 device (unique id 0); an instance name is
// the device path followed by the instance index within its block.
constexpr InstanceDef kDeviceInst[] = {{"ACPI\\PNP0C14\\0_0", Register::Device}};
constexpr InstanceDef kSystemInst[] = {{"ACPI\\PNP0C14\\0_0", Register::System0},
                                       {"ACPI\\PNP0C14\\0_1", Register::System1}};
constexpr InstanceDef kSoftwareInst[] = {{"ACPI\\PNP0C14\\0_0", Register::Software}};
constexpr InstanceDef kApInst[] = {{"ACPI\\PNP0C14\\0_0", Register::AP0},
                                   {"ACPI\\PNP0C14\\0_1", Register::AP1}};
// The register is unused: the class has no Register-source property.
constexpr InstanceDef kMethodULongInst[] = {{"ACPI\\PNP0C14\\0_0", Register::Device},
                                            {"ACPI\\PNP0C14\\0_1", Register::Device},
                                            {"ACPI\\PNP0C14\\0_2", Register::Device},
                                            {"ACPI\\PNP0C14\\0_3", Register::Device}};

constexpr InstanceDef kMonitorInst[] = {{kMonitorInstances[0], Register::Brightness0},
                                        {kMonitorInstances[1], Register::Brightness1}};

constexpr ClassDef kClasses[] = {
    {"ZEL_Device", ClassKind::Instances, kDeviceProps, kDeviceInst},
    {"ZEL_System", ClassKind::Instances, kSystemProps, kSystemInst},
    {"ZEL_Software", ClassKind::Instances, kSoftwareProps, kSoftwareInst},
    {"ZEL_AP", ClassKind::Instances, kApProps, kApInst},
    {"Method_ULong", ClassKind::Instances, kMethodULongProps, kMethodULongInst},
    {"WmiMonitorBrightness", ClassKind::Instances, kBrightnessProps, kMonitorInst},
    {"WmiMonitorBrightnessMethods", ClassKind::Instances, kBrightnessMethodsProps, kMonitorInst},
};

constexpr std::string_view kSystemNames[] = {"__GENUS",    "__CLASS",          "__SUPERCLASS",
                                             "__DYNASTY",  "__RELPATH",        "__PROPERTY_COUNT",
                                             "__SERVER",   "__NAMESPACE",      "__PATH"};

bool isIdentStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool isIdentChar(char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }

// Splits WQL text into identifiers and single punctuation characters.
class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}
  bool atEnd() {
    skip();
    return pos_ >= s_.size();
  }
  std::optional<std::string_view> ident() {
    skip();
    if (pos_ >= s_.size() || !isIdentStart(s_[pos_])) return std::nullopt;
    std::size_t start = pos_;
    while (pos_ < s_.size() && isIdentChar(s_[pos_])) ++pos_;
    return s_.substr(start, pos_ - start);
  }
  bool keyword(std::string_view kw) {
    std::size_t save = pos_;
    auto id = ident();
    if (id && equalsNoCase(*id, kw)) return true;
    pos_ = save;
    return false;
  }
  bool punct(char c) {
    skip();
    if (pos_ < s_.size() && s_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }

 private:
  void skip() {
    while (pos_ < s_.size() && isSpace(s_[pos_])) ++pos_;
  }
  std::string_view s_;
  std::size_t pos_ = 0;
};

bool isLocalServer(std::string_view server, std::string_view computerName) {
  return server == "." || equalsNoCase(server, "localhost") ||
         (!computerName.empty() && equalsNoCase(server, computerName));
}

// Splits "\\server\rest" (either separator) into server and rest; a text
// without the leading pair is returned as rest with no server.
struct ServerSplit {
  std::optional<std::string> server;
  std::string rest;
};
std::optional<ServerSplit> splitServer(std::string_view text) {
  std::string norm(text);
  for (char& c : norm)
    if (c == '/') c = '\\';
  if (norm.size() < 2 || norm[0] != '\\' || norm[1] != '\\') return ServerSplit{std::nullopt, norm};
  auto sep = norm.find('\\', 2);
  if (sep == std::string::npos || sep == 2) return std::nullopt;
  return ServerSplit{norm.substr(2, sep - 2), norm.substr(sep + 1)};
}

}  // namespace

std::span<const ClassDef> classes() { return kClasses; }

const ClassDef* findClass(std::string_view name) {
  for (const auto& c : kClasses)
    if (equalsNoCase(c.name, name)) return &c;
  return nullptr;
}

std::optional<std::size_t> findProperty(const ClassDef& cls, std::string_view name) {
  for (std::size_t i = 0; i < cls.properties.size(); ++i)
    if (equalsNoCase(cls.properties[i].name, name)) return i;
  return std::nullopt;
}

std::optional<std::size_t> keyProperty(const ClassDef& cls) {
  for (std::size_t i = 0; i < cls.properties.size(); ++i)
    if (cls.properties[i].key) return i;
  return std::nullopt;
}

const InstanceDef* findInstance(const ClassDef& cls, std::string_view instanceName) {
  for (const auto& inst : cls.instances)
    if (equalsNoCase(inst.instanceName, instanceName)) return &inst;
  return nullptr;
}

std::vector<Value> instanceValues(const ClassDef& cls, const InstanceDef& inst,
                                  const RegisterFile& regs, std::string_view label) {
  std::vector<Value> values;
  values.reserve(cls.properties.size());
  for (const auto& p : cls.properties) {
    switch (p.source) {
      case Source::InstanceName: values.emplace_back(std::string(inst.instanceName)); break;
      case Source::Active: values.emplace_back(true); break;
      case Source::Register:
        values.emplace_back(static_cast<std::int64_t>(regs[static_cast<int>(inst.reg)]));
        break;
      case Source::Label: values.emplace_back(std::string(label)); break;
    }
  }
  return values;
}

std::vector<Value> classValues(const ClassDef& cls) {
  return std::vector<Value>(cls.properties.size());
}

std::optional<Value> coerce(CimType type, const Value& in) {
  if (std::holds_alternative<std::monostate>(in)) return in;
  auto integerRange = [](CimType t, std::int64_t& lo, std::int64_t& hi) {
    switch (t) {
      case CimType::Uint8: lo = 0; hi = 0xFF; return true;
      // uint32 travels as a VT_I4, so a negative 32-bit integer is the same bits.
      case CimType::Uint32: lo = std::numeric_limits<std::int32_t>::min(); hi = 0xFFFFFFFFll; return true;
      case CimType::Sint32:
        lo = std::numeric_limits<std::int32_t>::min();
        hi = std::numeric_limits<std::int32_t>::max();
        return true;
      default: return false;
    }
  };
  std::int64_t lo = 0, hi = 0;
  if (integerRange(type, lo, hi)) {
    std::int64_t v;
    if (auto* i = std::get_if<std::int64_t>(&in)) {
      v = *i;
    } else if (auto* s = std::get_if<std::string>(&in)) {
      std::optional<std::int64_t> parsed;
      if (type == CimType::Sint32)
        parsed = parseSignedDecimal(*s, lo, hi);
      else if (auto u = parseDecimal(*s, static_cast<std::uint64_t>(hi)))
        parsed = static_cast<std::int64_t>(*u);
      if (!parsed) return std::nullopt;
      v = *parsed;
    } else {
      return std::nullopt;
    }
    if (v < lo || v > hi) return std::nullopt;
    if (type == CimType::Uint32 && v < 0) v += 0x100000000ll;
    return Value(v);
  }
  if (type == CimType::Boolean) {
    if (auto* b = std::get_if<bool>(&in)) return Value(*b);
    if (auto* i = std::get_if<std::int64_t>(&in)) return Value(*i != 0);
    if (auto* s = std::get_if<std::string>(&in)) {
      auto t = trim(*s);
      if (equalsNoCase(t, "true")) return Value(true);
      if (equalsNoCase(t, "false")) return Value(false);
      if (auto n = parseSignedDecimal(t, std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max()))
        return Value(*n != 0);
    }
    return std::nullopt;
  }
  // String
  if (auto* s = std::get_if<std::string>(&in)) return Value(*s);
  if (auto* i = std::get_if<std::int64_t>(&in)) return Value(std::to_string(*i));
  if (auto* b = std::get_if<bool>(&in)) return Value(std::string(*b ? "True" : "False"));
  return std::nullopt;
}

bool isSystemName(std::string_view name) { return name.size() > 2 && name.substr(0, 2) == "__"; }

std::span<const std::string_view> systemPropertyNames() { return kSystemNames; }

std::optional<TypedValue> systemProperty(std::string_view name, const ObjectIdentity& id) {
  auto text = [](std::optional<std::string> s) {
    return TypedValue{s ? Value(std::move(*s)) : Value(), CimType::String};
  };
  if (equalsNoCase(name, "__GENUS"))
    return TypedValue{Value(std::int64_t{id.isClass ? 1 : 2}), CimType::Sint32};
  if (equalsNoCase(name, "__CLASS") || equalsNoCase(name, "__DYNASTY"))
    return text(std::string(id.cls.name));
  if (equalsNoCase(name, "__SUPERCLASS")) return text(std::nullopt);
  if (equalsNoCase(name, "__PROPERTY_COUNT"))
    return TypedValue{Value(static_cast<std::int64_t>(id.cls.properties.size())), CimType::Sint32};
  if (equalsNoCase(name, "__SERVER")) return text(std::string(id.server));
  if (equalsNoCase(name, "__NAMESPACE")) return text(std::string(kNamespace));
  auto rel = relativePath(id.cls, id.isClass, id.instanceName);
  if (equalsNoCase(name, "__RELPATH")) return text(rel);
  if (equalsNoCase(name, "__PATH"))
    return text(rel ? std::optional<std::string>(fullPath(id.server, *rel)) : std::nullopt);
  return std::nullopt;
}

std::vector<std::string_view> propertyNames(const ClassDef& cls, NameSet set) {
  std::vector<std::string_view> names;
  if (set == NameSet::All || set == NameSet::NonSystemOnly || set == NameSet::KeysOnly)
    for (const auto& p : cls.properties)
      if (set != NameSet::KeysOnly || p.key) names.push_back(p.name);
  if (set == NameSet::All || set == NameSet::SystemOnly)
    for (auto n : kSystemNames) names.push_back(n);
  return names;
}

std::string quoteKey(std::string_view value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

std::optional<std::string> relativePath(const ClassDef& cls, bool isClass, const Value& key) {
  if (isClass) return std::string(cls.name);
  auto* s = std::get_if<std::string>(&key);
  auto k = keyProperty(cls);
  if (!s || !k) return std::nullopt;
  return std::string(cls.name) + "." + std::string(cls.properties[*k].name) + "=" + quoteKey(*s);
}

std::string fullPath(std::string_view server, std::string_view relative) {
  return "\\\\" + std::string(server) + "\\" + std::string(kNamespace) + ":" + std::string(relative);
}

std::optional<ObjectPath> parseObjectPath(std::string_view text, std::string_view computerName) {
  std::string_view rel = text;
  // A namespace prefix ends at the first ':' ahead of any quoted key value.
  auto colon = text.substr(0, text.find('"')).find(':');
  if (colon != std::string_view::npos) {
    // Namespace prefix, possibly with a server: must name this namespace.
    auto ns = text.substr(0, colon);
    if (!isEmulatedNamespace(ns, computerName)) return std::nullopt;
    rel = text.substr(colon + 1);
  }
  std::size_t i = 0;
  auto identAt = [&](std::size_t& pos) -> std::optional<std::string> {
    if (pos >= rel.size() || !isIdentStart(rel[pos])) return std::nullopt;
    std::size_t start = pos;
    while (pos < rel.size() && isIdentChar(rel[pos])) ++pos;
    return std::string(rel.substr(start, pos - start));
  };
  ObjectPath path;
  auto cls = identAt(i);
  if (!cls) return std::nullopt;
  path.className = *cls;
  if (i == rel.size()) return path;
  if (rel[i] == '.') {
    ++i;
    auto key = identAt(i);
    if (!key) return std::nullopt;
    path.keyName = *key;
  }
  if (i >= rel.size() || rel[i] != '=') return std::nullopt;
  ++i;
  if (i >= rel.size() || rel[i] != '"') return std::nullopt;
  ++i;
  std::string value;
  for (;; ++i) {
    if (i >= rel.size()) return std::nullopt;
    char c = rel[i];
    if (c == '"') break;
    if (c == '\\') {
      if (++i >= rel.size()) return std::nullopt;
      c = rel[i];
    }
    value += c;
  }
  if (i + 1 != rel.size()) return std::nullopt;
  path.keyValue = std::move(value);
  return path;
}

bool isEmulatedNamespace(std::string_view ns, std::string_view computerName) {
  return isLocalNamespace(ns, kNamespace, computerName);
}

bool isLocalNamespace(std::string_view ns, std::string_view wanted, std::string_view computerName) {
  auto split = splitServer(ns);
  if (!split) return false;
  if (split->server && !isLocalServer(*split->server, computerName)) return false;
  return equalsNoCase(split->rest, wanted);
}

WqlQuery parseWql(std::string_view query) {
  using S = WqlQuery::Status;
  Lexer lex(query);
  if (lex.keyword("associators") || lex.keyword("references"))
    return lex.keyword("of") && !lex.atEnd() ? WqlQuery{S::Unsupported, {}} : WqlQuery{S::Invalid, {}};
  if (!lex.keyword("select")) return {S::Invalid, {}};
  bool star = lex.punct('*');
  if (!star) {
    // A property list: name {, name}
    do {
      if (!lex.ident()) return {S::Invalid, {}};
    } while (lex.punct(','));
  }
  if (!lex.keyword("from")) return {S::Invalid, {}};
  auto cls = lex.ident();
  if (!cls) return {S::Invalid, {}};
  std::string name(*cls);
  if (lex.atEnd()) return {star ? S::SelectAll : S::Unsupported, name};
  if (lex.keyword("where") && !lex.atEnd()) return {S::Unsupported, name};
  return {S::Invalid, name};
}

bool isWql(std::string_view language) { return equalsNoCase(language, "WQL"); }

PutPlan planPutInstance(const ClassDef& cls, std::span<const Value> values, PutMode mode) {
  auto k = keyProperty(cls);
  const std::string* key =
      (k && *k < values.size()) ? std::get_if<std::string>(&values[*k]) : nullptr;
  if (!key) return {PutOutcome::IllegalNull};
  const InstanceDef* inst = findInstance(cls, *key);
  if (!inst)
    // The firmware has a fixed set of instances: nothing can be created.
    return {mode == PutMode::UpdateOnly ? PutOutcome::NotFound : PutOutcome::AccessDenied};
  if (mode == PutMode::CreateOnly) return {PutOutcome::AlreadyExists};
  for (std::size_t i = 0; i < cls.properties.size() && i < values.size(); ++i) {
    if (cls.properties[i].source != Source::Register) continue;
    auto* v = std::get_if<std::int64_t>(&values[i]);
    if (!v) return {PutOutcome::IllegalNull};
    if (!registerInfo(inst->reg).wmiWritable) return {PutOutcome::AccessDenied};
    return {PutOutcome::Write, inst->reg, static_cast<std::uint32_t>(*v)};
  }
  return {PutOutcome::AccessDenied};
}

namespace {
std::string_view mofType(CimType t) {
  switch (t) {
    case CimType::Boolean: return "boolean";
    case CimType::Uint8: return "uint8";
    case CimType::Uint32: return "uint32";
    case CimType::Sint32: return "sint32";
    case CimType::String: return "string";
  }
  return "string";
}
}  // namespace

std::string objectText(const ClassDef& cls, bool isClass, std::span<const Value> values) {
  std::string out = "\n";
  out += isClass ? "class " : "instance of ";
  out += cls.name;
  out += "\n{\n";
  for (std::size_t i = 0; i < cls.properties.size(); ++i) {
    const auto& p = cls.properties[i];
    if (isClass) {
      out += "\t";
      if (p.key) out += "[key] ";
      out += mofType(p.type);
      out += " ";
      out += p.name;
      out += ";\n";
      continue;
    }
    if (i >= values.size() || std::holds_alternative<std::monostate>(values[i])) continue;
    out += "\t";
    out += p.name;
    out += " = ";
    if (auto* b = std::get_if<bool>(&values[i])) out += *b ? "TRUE" : "FALSE";
    else if (auto* n = std::get_if<std::int64_t>(&values[i])) out += std::to_string(*n);
    else out += quoteKey(std::get<std::string>(values[i]));
    out += ";\n";
  }
  out += "};\n";
  return out;
}

}  // namespace emu
