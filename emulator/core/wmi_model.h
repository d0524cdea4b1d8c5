// The firmware's WMI classes in namespace root\WMI, described as data: which
// classes exist, their properties and instances, and which EC register backs
// each instance. Also the text rules the provider applies: WQL queries,
// namespace names, object paths, value conversion on Put, the instance write
// decision of PutInstance, and the MOF text of an object.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "ec.h"

namespace emu {

inline constexpr std::string_view kNamespace = "root\\wmi";

enum class CimType { Boolean, Uint8, Uint32, Sint32, String };

// A property value: null, boolean, integer (every integer CIM type), string.
using Value = std::variant<std::monostate, bool, std::int64_t, std::string>;

// Instance classes hold data blocks read and written through the EC; event
// classes (core/event_class.h) describe the objects of raised events.
enum class ClassKind { Instances, Event };

// Where a property's value comes from. Label is test equipment, not firmware:
// a text of any length the test sets (emuctl label), so that a caller can be
// handed a long value from a class it is allowed to read.
enum class Source { InstanceName, Active, Register, Label };

struct PropertyDef {
  std::string_view name;
  CimType type;
  bool key;
  Source source;
};

struct InstanceDef {
  std::string_view instanceName;
  Register reg;  // backs the class's Register-source property
};

struct ClassDef {
  std::string_view name;
  ClassKind kind;
  std::span<const PropertyDef> properties;
  std::span<const InstanceDef> instances;  // in enumeration order
};

// The display's brightness classes serve two monitor instances, in this order.
inline constexpr std::string_view kMonitorInstances[] = {"DISPLAY\\EMUPNL0\\4&1f2e3d4c&0&UID0_0",
                                                         "DISPLAY\\EMUPNL1\\4&1f2e3d4c&0&UID1_0"};

std::span<const ClassDef> classes();
const ClassDef* findClass(std::string_view name);
std::optional<std::size_t> findProperty(const ClassDef& cls, std::string_view name);
std::optional<std::size_t> keyProperty(const ClassDef& cls);
const InstanceDef* findInstance(const ClassDef& cls, std::string_view instanceName);

// Property values (aligned with cls.properties) of one instance, or of the
// class definition itself (every value null). `label` is the value of every
// Label-source property.
std::vector<Value> instanceValues(const ClassDef& cls, const InstanceDef& inst,
                                  const RegisterFile& regs, std::string_view label = {});
std::vector<Value> classValues(const ClassDef& cls);

// Put: converts a supplied value to the property's type as WMI does (a
// string holding a decimal number to an integer, an integer of any width
// that fits, ...). nullopt means a type mismatch. Null stays null.
std::optional<Value> coerce(CimType type, const Value& in);

// System properties (__CLASS, __PATH, ...) of an object.
struct ObjectIdentity {
  const ClassDef& cls;
  bool isClass;
  const Value& instanceName;  // the object's current key value
  std::string_view server;
};
struct TypedValue {
  Value value;
  CimType type;
};
bool isSystemName(std::string_view name);
std::span<const std::string_view> systemPropertyNames();
std::optional<TypedValue> systemProperty(std::string_view name, const ObjectIdentity& id);

// Which names GetNames / BeginEnumeration return.
enum class NameSet { All, SystemOnly, NonSystemOnly, KeysOnly, None };
std::vector<std::string_view> propertyNames(const ClassDef& cls, NameSet set);

// Object paths: ZEL_Device.InstanceName="ACPI\\PNP0C14\\0_0" (relative) and
// \\SERVER\root\wmi:<relative> (full).
std::string quoteKey(std::string_view value);
std::optional<std::string> relativePath(const ClassDef& cls, bool isClass, const Value& key);
std::string fullPath(std::string_view server, std::string_view relative);

struct ObjectPath {
  std::string className;
  std::optional<std::string> keyName;   // absent for Class="value" and for a class path
  std::optional<std::string> keyValue;  // absent for a class path
};
// Accepts a relative path, or one prefixed with this namespace and
// optionally a local server. nullopt for anything else.
std::optional<ObjectPath> parseObjectPath(std::string_view text, std::string_view computerName);

// Namespace names served by the emulator: root\WMI in any letter case, with
// '/' or '\' separators, optionally after \\.\, \\localhost\ or \\<this computer>\.
bool isEmulatedNamespace(std::string_view ns, std::string_view computerName);
// The same rule for another namespace of this computer (root\cimv2, ...).
bool isLocalNamespace(std::string_view ns, std::string_view wanted, std::string_view computerName);

// WQL: "SELECT * FROM <class>" is served. A valid-looking query with a
// property list, a WHERE clause, ASSOCIATORS OF or REFERENCES OF is reported
// as unsupported, anything else as invalid.
struct WqlQuery {
  enum class Status { SelectAll, Unsupported, Invalid };
  Status status;
  std::string className;  // when known
};
WqlQuery parseWql(std::string_view query);
bool isWql(std::string_view language);

// PutInstance: what writing an instance object back means for the EC.
enum class PutMode { CreateOrUpdate, UpdateOnly, CreateOnly };
enum class PutOutcome { Write, NotFound, AlreadyExists, AccessDenied, IllegalNull };
struct PutPlan {
  PutOutcome outcome;
  Register reg = Register::Device;
  std::uint32_t value = 0;
};
PutPlan planPutInstance(const ClassDef& cls, std::span<const Value> values, PutMode mode);

// MOF text of an object as GetObjectText gives it.
std::string objectText(const ClassDef& cls, bool isClass, std::span<const Value> values);

}  // namespace emu
