// Method_ULong and its settings, the HOT_KEY_ULong event class and the
// event queue's class tag.
#include <gtest/gtest.h>

#include <memory>

#include "event_class.h"
#include "event_ring.h"
#include "method_class.h"

using namespace emu;

namespace {

SettingFile with(std::uint32_t version, std::uint32_t instances) {
  SettingFile s = defaultSettings();
  s[static_cast<int>(Setting::ECVersion)] = version;
  s[static_cast<int>(Setting::MethodInstances)] = instances;
  return s;
}

}  // namespace

TEST(MethodULong, GetULongAnswersPerInstanceAndOnlyForInstancesThatExist) {
  struct Case {
    const char* path;
    const char* method;
    std::uint32_t instances;
    MethodOutcome outcome;
    std::uint32_t data;
  } cases[] = {
      {R"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_3")", "GetULong", 4, MethodOutcome::Data, 0x12340501},
      {R"(method_ulong.instancename="acpi\\pnp0c14\\0_3")", "getulong", 4, MethodOutcome::Data, 0x12340501},
      {R"(\\.\root\wmi:Method_ULong="ACPI\\PNP0C14\\0_3")", "GetULong", 4, MethodOutcome::Data, 0x12340501},
      {R"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_0")", "GetULong", 4, MethodOutcome::Data, 0},
      {R"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_2")", "GetULong", 3, MethodOutcome::Data, 0},
      {R"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_3")", "GetULong", 3, MethodOutcome::NotFound, 0},
      {R"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_4")", "GetULong", 4, MethodOutcome::NotFound, 0},
      {R"(Method_ULong.InstanceName="ACPI\\PNP0C14\\0_3")", "SetULong", 4, MethodOutcome::InvalidMethod, 0},
      {R"(ZEL_Device.InstanceName="ACPI\\PNP0C14\\0_0")", "GetULong", 4, MethodOutcome::InvalidMethod, 0},
      {R"(Nothing.InstanceName="x")", "GetULong", 4, MethodOutcome::InvalidClass, 0},
      {"Method_ULong", "GetULong", 4, MethodOutcome::InvalidObjectPath, 0},
      {R"(Method_ULong.Active="x")", "GetULong", 4, MethodOutcome::InvalidObjectPath, 0},
      {R"(Method_ULong.InstanceName=ACPI)", "GetULong", 4, MethodOutcome::InvalidObjectPath, 0},
  };
  for (const Case& c : cases) {
    MethodPlan plan = planMethodCall(c.path, c.method, with(0x12340501, c.instances), "HOST");
    EXPECT_EQ(plan.outcome, c.outcome) << c.path << " " << c.method << " " << c.instances;
    EXPECT_EQ(plan.data, c.data) << c.path;
  }
}

TEST(MethodULong, TheInstancesSettingKeepsAPrefixOfTheFour) {
  for (std::uint32_t n = 0; n <= 4; ++n) {
    auto inst = methodInstances(with(0, n));
    ASSERT_EQ(inst.size(), n);
    for (std::size_t i = 0; i < n; ++i)
      EXPECT_EQ(inst[i].instanceName, std::string("ACPI\\PNP0C14\\0_") + char('0' + i));
  }
  EXPECT_EQ(findSetting("methodinstances"), Setting::MethodInstances);
  EXPECT_EQ(findSetting("Nothing"), std::nullopt);
  EXPECT_EQ(settingInfo(Setting::MethodInstances).maximum, methodClass().instances.size());
}

TEST(MethodULong, AHangAskedForHoldsOnlyAGetULongThatReachesAnInstanceAndOnlyWhileTheSettingAsks) {
  auto hangFor = [](std::uint32_t ms) {
    SettingFile s = defaultSettings();
    s[static_cast<int>(Setting::MethodHangMs)] = ms;
    return s;
  };
  const MethodPlan reached{MethodOutcome::Data, 0x0A01};
  struct Case {
    MethodPlan plan;
    std::uint32_t settingMs, waitedMs;
    bool hangs;
  } cases[] = {
      {reached, 0, 0, false},          // the default, and a cleared setting: answers at once
      {reached, 3000, 0, true},
      {reached, 3000, 2999, true},
      {reached, 3000, 3000, false},    // bounded by the setting
      {reached, 1000, 2000, false},    // lowered below the time waited
      {reached, 600000, 100000, true},
      {{MethodOutcome::NotFound}, 3000, 0, false},
      {{MethodOutcome::InvalidMethod}, 3000, 0, false},
      {{MethodOutcome::InvalidObjectPath}, 3000, 0, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(methodStillHangs(c.plan, c.waitedMs, hangFor(c.settingMs)), c.hangs)
        << static_cast<int>(c.plan.outcome) << " " << c.settingMs << " " << c.waitedMs;
  EXPECT_EQ(findSetting("methodhangms"), Setting::MethodHangMs);
  EXPECT_EQ(settingInfo(Setting::MethodHangMs).maximum, 600000u);  // never for ever
}

TEST(MethodULong, IsADataBlockWithoutEventsOrWritableData) {
  EXPECT_EQ(planNotificationQuery("WQL", "select * from Method_ULong"), NotificationVerdict::NotEventClass);
  const std::vector<Value> values = {Value(std::string("ACPI\\PNP0C14\\0_3")), Value(true)};
  EXPECT_EQ(planPutInstance(methodClass(), values, PutMode::UpdateOnly).outcome, PutOutcome::AccessDenied);
}

TEST(HotKeyULong, IsAnEventClassOfItsOwnWithULong) {
  EXPECT_EQ(planNotificationQuery("WQL", "select * from HOT_KEY_ULong"), NotificationVerdict::Subscribe);
  EXPECT_EQ(eventClassId("hot_key_ulong"), kHotKeyULongClass);
  EXPECT_EQ(eventClassId("ZEL_Event"), kZelEventClass);
  EXPECT_EQ(eventClassId("Method_ULong"), std::nullopt);
  const ClassDef* cls = eventClassById(kHotKeyULongClass);
  ASSERT_NE(cls, nullptr);
  auto idx = findProperty(*cls, "ULong");
  ASSERT_TRUE(idx.has_value());
  auto values = eventValues(kHotKeyULongClass, 0xCAFE0042u);
  ASSERT_EQ(values.size(), cls->properties.size());
  EXPECT_EQ(std::get<std::int64_t>(values[*idx]), 0xCAFE0042ll);
  EXPECT_EQ(eventClassById(kBrightnessEventClass + 1), nullptr);
}

TEST(HotKeyULong, TheQueueKeepsEachBatchsClass) {
  auto ring = std::make_unique<RingMemory>();
  initRing(*ring);
  std::uint64_t cursor = ring->next;
  const std::uint32_t a[] = {1, 2}, b[] = {3};
  ASSERT_TRUE(appendBatch(*ring, a));
  ASSERT_TRUE(appendBatch(*ring, b, kHotKeyULongClass));
  std::vector<EventBatch> got;
  collectBatches(*ring, cursor, got);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].eventClass, kZelEventClass);
  EXPECT_EQ(got[0].values, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(got[1].eventClass, kHotKeyULongClass);
  EXPECT_EQ(got[1].values, std::vector<std::uint32_t>{3});
}

TEST(Brightness, ClassesEventAndSetMethodPlans) {
  const ClassDef* data = findClass("wmimonitorbrightness");
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->instances.size(), 2u);
  RegisterFile regs{};
  regs[static_cast<int>(Register::Brightness0)] = 55;
  regs[static_cast<int>(Register::Brightness1)] = 20;
  auto idx = findProperty(*data, "CurrentBrightness");
  ASSERT_TRUE(idx.has_value());
  EXPECT_EQ(std::get<std::int64_t>(instanceValues(*data, data->instances[0], regs)[*idx]), 55);
  EXPECT_EQ(std::get<std::int64_t>(instanceValues(*data, data->instances[1], regs)[*idx]), 20);

  const ClassDef* event = findEventClass("WmiMonitorBrightnessEvent");
  ASSERT_EQ(event, eventClassById(kBrightnessEventClass));
  auto values = eventValues(kBrightnessEventClass, 42);
  EXPECT_EQ(std::get<std::string>(values[0]), kMonitorInstances[0]);
  EXPECT_EQ(std::get<std::int64_t>(values[*findProperty(*event, "Brightness")]), 42);
  EXPECT_EQ(planNotificationQuery("WQL", "SELECT * FROM WmiMonitorBrightnessEvent"),
            NotificationVerdict::Subscribe);
  EXPECT_EQ(planNotificationQuery("WQL", "SELECT * FROM WmiMonitorBrightness"),
            NotificationVerdict::NotEventClass);

  const ClassDef& methods = brightnessMethodsClass();
  auto pathOf = [&](std::string_view name) {
    return *relativePath(methods, false, Value(std::string(name)));
  };
  struct Case {
    std::string path, method;
    std::optional<MethodOutcome> outcome;
    Register reg;
  };
  const Case cases[] = {
      {pathOf(kMonitorInstances[1]), "WmiSetBrightness", MethodOutcome::Data, Register::Brightness1},
      {pathOf(kMonitorInstances[0]), "wmisetbrightness", MethodOutcome::Data, Register::Brightness0},
      {pathOf(kMonitorInstances[1]), "GetULong", MethodOutcome::InvalidMethod, Register::Brightness0},
      {"WmiMonitorBrightnessMethods", "WmiSetBrightness", MethodOutcome::InvalidObjectPath,
       Register::Brightness0},
      {pathOf("nope"), "WmiSetBrightness", MethodOutcome::NotFound, Register::Brightness0},
      {*relativePath(methodClass(), false, Value(std::string("ACPI\\PNP0C14\\0_3"))), "WmiSetBrightness",
       std::nullopt, Register::Brightness0},
  };
  for (const auto& c : cases) {
    auto plan = planSetBrightness(c.path, c.method, "HOST");
    ASSERT_EQ(plan.has_value(), c.outcome.has_value()) << c.path;
    if (!plan) continue;
    EXPECT_EQ(plan->outcome, *c.outcome) << c.path << " " << c.method;
    if (plan->outcome == MethodOutcome::Data) {
      EXPECT_EQ(plan->reg, c.reg) << c.path;
    }
  }
  for (auto [in, out] : {std::pair<std::int64_t, std::uint32_t>{0, 0}, {55, 55}, {100, 100}, {255, 100}, {-3, 0}})
    EXPECT_EQ(panelBrightness(in), out) << in;
}
