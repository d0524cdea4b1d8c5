// Native tests of the emulator's platform-free rules.
#include <gtest/gtest.h>

#include <map>

#include "ec.h"
#include "wmi_model.h"

namespace emu {
namespace {

class MemoryBackend : public EcBackend {
 public:
  bool lock() override {
    if (failLock) return false;
    ++locks;
    return true;
  }
  void unlock() override { --locks; }
  Load load(Register r, std::uint32_t& v) override {
    if (failLoad) return Load::Failed;
    auto it = cells.find(r);
    if (it == cells.end()) return Load::Missing;
    v = it->second;
    return Load::Ok;
  }
  bool store(Register r, std::uint32_t v) override {
    if (failStore) return false;
    cells[r] = v;
    return true;
  }
  std::map<Register, std::uint32_t> cells;
  int locks = 0;
  bool failLock = false, failLoad = false, failStore = false;
};

TEST(Ec, UnsetRegistersReadTheirDefaults) {
  MemoryBackend b;
  Ec ec(b);
  auto all = ec.readAll();
  ASSERT_TRUE(all);
  EXPECT_EQ((*all)[int(Register::Device)], 0x0Bu);
  EXPECT_EQ((*all)[int(Register::System1)], 0u);
  EXPECT_EQ((*all)[int(Register::AP1)], 17u);
  EXPECT_EQ(b.locks, 0);
}

TEST(Ec, WritesKeepOnlyTheRegisterMask) {
  MemoryBackend b;
  Ec ec(b);
  EXPECT_EQ(ec.write(Register::System1, 0x1FF), 0xFFu);
  EXPECT_EQ(b.cells[Register::System1], 0xFFu);
  EXPECT_EQ(ec.write(Register::Device, 0x1FF), 0xFFu);
  b.cells[Register::System1] = 0x1E4;  // foreign bits in the store
  EXPECT_EQ(ec.read(Register::System1), 0xE4u);
}

TEST(Ec, UpdateIsOneLockedReadModifyWrite) {
  MemoryBackend b;
  Ec ec(b);
  int locksSeen = -1;
  auto r = ec.update(Register::Device, [&](std::uint32_t v) {
    locksSeen = b.locks;
    return v ^ 0x08;
  });
  EXPECT_EQ(r, 0x03u);
  EXPECT_EQ(locksSeen, 1);
  EXPECT_EQ(b.locks, 0);
}

TEST(Ec, ResetRestoresEveryDefault) {
  MemoryBackend b;
  Ec ec(b);
  for (const auto& r : registers()) b.cells[r.id] = 0x5A;
  ASSERT_TRUE(ec.reset());
  for (const auto& r : registers()) EXPECT_EQ(b.cells[r.id], r.defaultValue) << r.name;
}

TEST(Ec, BackendFailuresAreReportedNotGuessed) {
  MemoryBackend b;
  Ec ec(b);
  b.failLoad = true;
  EXPECT_FALSE(ec.read(Register::Device));
  EXPECT_FALSE(ec.readAll());
  EXPECT_FALSE(ec.update(Register::Device, [](std::uint32_t v) { return v; }));
  b.failLoad = false;
  b.failStore = true;
  EXPECT_FALSE(ec.write(Register::Device, 1));
  EXPECT_FALSE(ec.reset());
  b.failStore = false;
  b.failLock = true;
  EXPECT_FALSE(ec.write(Register::Device, 1));
  EXPECT_TRUE(b.cells.empty());
}

TEST(Ec, RegisterNamesAndUserNumbers) {
  EXPECT_EQ(findRegister("system1"), Register::System1);
  EXPECT_EQ(findRegister("AP1"), Register::AP1);
  EXPECT_FALSE(findRegister("System2"));
  const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
      {"11", 11u}, {"0x1f", 0x1Fu}, {"0XFF", 0xFFu}, {"4294967295", 0xFFFFFFFFu},
      {"4294967296", std::nullopt}, {"0x100000000", std::nullopt}, {"", std::nullopt},
      {"0x", std::nullopt}, {"-1", std::nullopt}, {"12a", std::nullopt}, {" 1", std::nullopt}};
  for (auto& [text, want] : cases) EXPECT_EQ(parseUserNumber(text), want) << text;
}

TEST(WmiModel, ClassTableInstancesAndRegisters) {
  struct Row {
    const char* cls;
    const char* prop;
    std::vector<Register> regs;
  };
  const Row rows[] = {{"ZEL_Device", "Device", {Register::Device}},
                      {"zel_system", "System", {Register::System0, Register::System1}},
                      {"ZEL_Software", "Software", {Register::Software}},
                      {"ZEL_AP", "AP", {Register::AP0, Register::AP1}}};
  RegisterFile regs{};
  for (int i = 0; i < kRegisterCount; ++i) regs[i] = 100 + i;
  for (const auto& row : rows) {
    const ClassDef* c = findClass(row.cls);
    ASSERT_TRUE(c) << row.cls;
    ASSERT_EQ(c->instances.size(), row.regs.size()) << row.cls;
    auto p = findProperty(*c, row.prop);
    ASSERT_TRUE(p);
    for (std::size_t i = 0; i < row.regs.size(); ++i) {
      auto values = instanceValues(*c, c->instances[i], regs);
      EXPECT_EQ(std::get<std::int64_t>(values[*p]), 100 + int(row.regs[i])) << row.cls << i;
      EXPECT_EQ(std::get<std::string>(values[*findProperty(*c, "InstanceName")]),
                "ACPI\\PNP0C14\\0_" + std::to_string(i));
      EXPECT_EQ(std::get<bool>(values[*findProperty(*c, "active")]), true);
    }
  }
  EXPECT_FALSE(findClass("ZEL_Nothing"));
}

TEST(WmiModel, SoftwareLabelCarriesTheTextItIsGiven) {
  const ClassDef& sw = *findClass("ZEL_Software");
  const auto label = findProperty(sw, "label");
  ASSERT_TRUE(label);
  RegisterFile regs{};
  const std::string text(300, 'L');
  EXPECT_EQ(std::get<std::string>(instanceValues(sw, sw.instances[0], regs, text)[*label]), text);
  EXPECT_EQ(std::get<std::string>(instanceValues(sw, sw.instances[0], regs)[*label]), "");
}

TEST(WmiModel, WqlQueries) {
  using S = WqlQuery::Status;
  const std::tuple<const char*, S, const char*> cases[] = {
      {"Select * from ZEL_Device", S::SelectAll, "ZEL_Device"},
      {"  SELECT\t*\r\nFROM   zel_ap  ", S::SelectAll, "zel_ap"},
      {"select*from ZEL_AP", S::SelectAll, "ZEL_AP"},
      {"Select Device from ZEL_Device", S::Unsupported, "ZEL_Device"},
      {"Select * from ZEL_System where System = 1", S::Unsupported, "ZEL_System"},
      {"associators of {ZEL_AP}", S::Unsupported, ""},
      {"Select * from", S::Invalid, ""},
      {"Select * form ZEL_Device", S::Invalid, ""},
      {"Selectx * from ZEL_Device", S::Invalid, ""},
      {"Select * from 1ZEL", S::Invalid, ""},
      {"Select * from ZEL_Device junk", S::Invalid, "ZEL_Device"},
      {"Select * from ZEL_Device where", S::Invalid, "ZEL_Device"},
      {"Select , from ZEL_Device", S::Invalid, ""},
      {"", S::Invalid, ""}};
  for (auto& [q, status, cls] : cases) {
    auto r = parseWql(q);
    EXPECT_EQ(r.status, status) << q;
    EXPECT_EQ(r.className, cls) << q;
  }
  EXPECT_TRUE(isWql("wql"));
  EXPECT_FALSE(isWql("SQL"));
}

TEST(WmiModel, NamespaceNames) {
  const std::pair<const char*, bool> cases[] = {
      {"root\\WMI", true},          {"ROOT\\wmi", true},           {"root/wmi", true},
      {"\\\\.\\root\\wmi", true},   {"//./root/wmi", true},        {"\\\\localhost\\root\\WMI", true},
      {"\\\\NOTEBOOK\\root\\wmi", true}, {"\\\\other\\root\\wmi", false}, {"root\\cimv2", false},
      {"root\\wmi\\sub", false},    {"root\\wmix", false},         {"\\\\\\root\\wmi", false},
      {"", false}};
  for (auto& [ns, want] : cases) EXPECT_EQ(isEmulatedNamespace(ns, "notebook"), want) << ns;
}

TEST(WmiModel, ValuesConvertOnPutAsWmiDoes) {
  const std::tuple<CimType, Value, std::optional<Value>> cases[] = {
      {CimType::Uint32, Value(std::string("5")), Value(std::int64_t{5})},
      {CimType::Uint32, Value(std::string(" +17 ")), Value(std::int64_t{17})},
      {CimType::Uint32, Value(std::string("4294967295")), Value(std::int64_t{4294967295})},
      {CimType::Uint32, Value(std::string("4294967296")), std::nullopt},
      {CimType::Uint32, Value(std::string("-1")), std::nullopt},
      {CimType::Uint32, Value(std::string("abc")), std::nullopt},
      {CimType::Uint32, Value(std::string("12abc")), std::nullopt},
      {CimType::Uint32, Value(std::string("")), std::nullopt},
      {CimType::Uint32, Value(std::string("0x10")), std::nullopt},
      {CimType::Uint32, Value(std::int64_t{-1}), Value(std::int64_t{4294967295})},
      {CimType::Uint32, Value(true), std::nullopt},
      {CimType::Uint32, Value(), Value()},
      {CimType::Uint8, Value(std::string("255")), Value(std::int64_t{255})},
      {CimType::Uint8, Value(std::int64_t{256}), std::nullopt},
      {CimType::Sint32, Value(std::string("-2147483648")), Value(std::int64_t{-2147483648ll})},
      {CimType::Sint32, Value(std::string("2147483648")), std::nullopt},
      {CimType::Boolean, Value(std::string("False")), Value(false)},
      {CimType::Boolean, Value(std::string("maybe")), std::nullopt},
      {CimType::String, Value(std::int64_t{42}), Value(std::string("42"))}};
  for (auto& [type, in, want] : cases) {
    auto got = coerce(type, in);
    EXPECT_EQ(got, want) << int(type) << " case " << (&in - &std::get<1>(cases[0]));
  }
}

TEST(WmiModel, SystemPropertiesAndPaths) {
  const ClassDef& dev = *findClass("ZEL_Device");
  Value key(std::string("ACPI\\PNP0C14\\0_0"));
  ObjectIdentity inst{dev, false, key, "NOTEBOOK"};
  auto str = [&](const char* n, const ObjectIdentity& id) {
    return std::get<std::string>(systemProperty(n, id)->value);
  };
  EXPECT_EQ(str("__CLASS", inst), "ZEL_Device");
  EXPECT_EQ(str("__RELPATH", inst), "ZEL_Device.InstanceName=\"ACPI\\\\PNP0C14\\\\0_0\"");
  EXPECT_EQ(str("__path", inst),
            "\\\\NOTEBOOK\\root\\wmi:ZEL_Device.InstanceName=\"ACPI\\\\PNP0C14\\\\0_0\"");
  EXPECT_EQ(str("__NAMESPACE", inst), "root\\wmi");
  EXPECT_EQ(std::get<std::int64_t>(systemProperty("__GENUS", inst)->value), 2);
  EXPECT_FALSE(systemProperty("__NOPE", inst));
  Value none;
  ObjectIdentity keyless{dev, false, none, "NOTEBOOK"};
  EXPECT_TRUE(std::holds_alternative<std::monostate>(systemProperty("__PATH", keyless)->value));
  ObjectIdentity cls{dev, true, none, "NOTEBOOK"};
  EXPECT_EQ(str("__RELPATH", cls), "ZEL_Device");
  EXPECT_EQ(std::get<std::int64_t>(systemProperty("__GENUS", cls)->value), 1);
}

TEST(WmiModel, ObjectPathsRoundTrip) {
  auto rel = *relativePath(*findClass("ZEL_System"), false, Value(std::string("ACPI\\PNP0C14\\0_1")));
  for (std::string text : {rel, "root\\wmi:" + rel, "\\\\.\\root\\WMI:" + rel}) {
    auto p = parseObjectPath(text, "NOTEBOOK");
    ASSERT_TRUE(p) << text;
    EXPECT_EQ(p->className, "ZEL_System");
    EXPECT_EQ(p->keyName, "InstanceName");
    EXPECT_EQ(p->keyValue, "ACPI\\PNP0C14\\0_1");
  }
  auto shorthand = parseObjectPath("ZEL_AP=\"a\\\"b:c\"", "");
  ASSERT_TRUE(shorthand);
  EXPECT_FALSE(shorthand->keyName);
  EXPECT_EQ(shorthand->keyValue, "a\"b:c");
  auto cls = parseObjectPath("ZEL_AP", "");
  ASSERT_TRUE(cls);
  EXPECT_FALSE(cls->keyValue);
  for (const char* bad : {"", "ZEL_AP.", "ZEL_AP.InstanceName=", "ZEL_AP.InstanceName=\"x",
                          "ZEL_AP.InstanceName=\"x\"y", "root\\cimv2:ZEL_AP", "1ZEL"})
    EXPECT_FALSE(parseObjectPath(bad, "")) << bad;
}

TEST(WmiModel, PutInstanceDecisions) {
  const ClassDef& sys = *findClass("ZEL_System");
  auto values = [&](const char* name, Value data) {
    return std::vector<Value>{name ? Value(std::string(name)) : Value(), Value(true), data};
  };
  struct Case {
    std::vector<Value> v;
    PutMode mode;
    PutOutcome outcome;
  };
  const Value five(std::int64_t{5});
  const Case cases[] = {
      {values("ACPI\\PNP0C14\\0_1", five), PutMode::UpdateOnly, PutOutcome::Write},
      {values("acpi\\pnp0c14\\0_1", five), PutMode::CreateOrUpdate, PutOutcome::Write},
      {values("ACPI\\PNP0C14\\0_0", five), PutMode::UpdateOnly, PutOutcome::AccessDenied},
      {values("ACPI\\PNP0C14\\0_1", five), PutMode::CreateOnly, PutOutcome::AlreadyExists},
      {values("ACPI\\PNP0C14\\0_7", five), PutMode::UpdateOnly, PutOutcome::NotFound},
      {values("ACPI\\PNP0C14\\0_7", five), PutMode::CreateOrUpdate, PutOutcome::AccessDenied},
      {values(nullptr, five), PutMode::UpdateOnly, PutOutcome::IllegalNull},
      {values("ACPI\\PNP0C14\\0_1", Value()), PutMode::UpdateOnly, PutOutcome::IllegalNull}};
  for (const auto& c : cases) {
    auto plan = planPutInstance(sys, c.v, c.mode);
    EXPECT_EQ(plan.outcome, c.outcome) << (&c - cases);
    if (plan.outcome == PutOutcome::Write) {
      EXPECT_EQ(plan.reg, Register::System1);
      EXPECT_EQ(plan.value, 5u);
    }
  }
}

TEST(WmiModel, ObjectText) {
  const ClassDef& dev = *findClass("ZEL_Device");
  RegisterFile regs{};
  regs[int(Register::Device)] = 11;
  EXPECT_EQ(objectText(dev, false, instanceValues(dev, dev.instances[0], regs)),
            "\ninstance of ZEL_Device\n{\n\tInstanceName = \"ACPI\\\\PNP0C14\\\\0_0\";\n"
            "\tActive = TRUE;\n\tDevice = 11;\n};\n");
  EXPECT_EQ(objectText(dev, true, classValues(dev)),
            "\nclass ZEL_Device\n{\n\t[key] string InstanceName;\n\tboolean Active;\n"
            "\tuint32 Device;\n};\n");
}

}  // namespace
}  // namespace emu
