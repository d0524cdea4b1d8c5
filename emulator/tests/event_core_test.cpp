// Native tests of the firmware's hotkey table, the shared event ring and the
// notification query rules.
#include <gtest/gtest.h>

#include <map>

#include "event_class.h"
#include "event_ring.h"
#include "hotkeys.h"
#include "wmi_service.h"

namespace emu {
namespace {

class MemoryBackend : public EcBackend {
 public:
  bool lock() override { return !failLock; }
  void unlock() override {}
  Load load(Register r, std::uint32_t& v) override {
    auto it = cells.find(r);
    if (it == cells.end()) return Load::Missing;
    v = it->second;
    return Load::Ok;
  }
  bool store(Register r, std::uint32_t v) override {
    cells[r] = v;
    return true;
  }
  std::map<Register, std::uint32_t> cells;
  bool failLock = false;
};

TEST(Hotkeys, PressTogglesTheKeysBitAndReportsTheRegisterInTheFlagByte) {
  struct Case {
    const char* key;
    Register reg;
    std::uint32_t before, after, event;
  };
  const Case cases[] = {
      {"wireless", Register::Device, 0x0B, 0x03, 0x035F},
      {"WIRELESS", Register::Device, 0x03, 0x0B, 0x0B5F},
      {"bluetooth", Register::Device, 0x0B, 0x0A, 0x0A56},
      {"webcam", Register::Device, 0x0B, 0x09, 0x0957},
      {"3g", Register::Device, 0x0B, 0x1B, 0x1B84},
      {"turbo", Register::System0, 0x00, 0x02, 0x0260},
      {"eco", Register::System1, 0x06, 0x07, 0x0779},
      {"touchpad", Register::System1, 0x07, 0x05, 0x0508},
      {"0x5f", Register::Device, 0xFF, 0xF7, 0xF75F},   // a table key by its code
      {"132", Register::Device, 0x00, 0x10, 0x1084},
  };
  for (const Case& c : cases) {
    MemoryBackend b;
    Ec ec(b);
    b.cells[c.reg] = c.before;
    auto key = findHotkey(c.key);
    ASSERT_TRUE(key) << c.key;
    EXPECT_EQ(press(ec, *key), c.event) << c.key;
    EXPECT_EQ(b.cells[c.reg], c.after) << c.key;
  }
}

TEST(Hotkeys, KeysWithoutADeviceBitChangeNothing) {
  for (const char* name : {"userdefined", "theater", "0x25", "255", "111"}) {
    MemoryBackend b;
    Ec ec(b);
    auto key = findHotkey(name);
    ASSERT_TRUE(key) << name;
    auto v = press(ec, *key);
    ASSERT_TRUE(v) << name;
    EXPECT_EQ(*v >> 8, 0u) << name;
    EXPECT_EQ(*v, key->code);
    EXPECT_TRUE(b.cells.empty()) << name;
  }
  EXPECT_EQ(findHotkey("theater")->code, 115);
  EXPECT_EQ(findHotkey("0x25")->code, 0x25);
  EXPECT_FALSE(findHotkey("256"));
  EXPECT_FALSE(findHotkey("volume"));
  EXPECT_FALSE(findHotkey(""));
}

TEST(Hotkeys, AnEcThatCannotBeChangedRaisesNothing) {
  MemoryBackend b;
  b.failLock = true;
  Ec ec(b);
  EXPECT_FALSE(press(ec, *findHotkey("wireless")));
}

std::vector<std::vector<std::uint32_t>> valuesOf(const std::vector<EventBatch>& batches) {
  std::vector<std::vector<std::uint32_t>> v;
  for (const auto& b : batches) v.push_back(b.values);
  return v;
}

TEST(EventRing, ReadersSeeBatchesInOrderFromTheirOwnCursor) {
  RingMemory ring{};
  initRing(ring);
  std::uint64_t early = ring.next;
  const std::uint32_t a[] = {0x35F};
  const std::uint32_t b[] = {0x156, 0x157, 0x158};
  ASSERT_TRUE(appendBatch(ring, a));
  std::uint64_t late = ring.next;
  ASSERT_TRUE(appendBatch(ring, b));

  std::vector<EventBatch> got;
  EXPECT_EQ(collectBatches(ring, early, got), 0u);
  EXPECT_EQ(valuesOf(got), (std::vector<std::vector<std::uint32_t>>{{0x35F}, {0x156, 0x157, 0x158}}));
  got.clear();
  EXPECT_EQ(collectBatches(ring, late, got), 0u);
  EXPECT_EQ(valuesOf(got), (std::vector<std::vector<std::uint32_t>>{{0x156, 0x157, 0x158}}));
  got.clear();
  EXPECT_EQ(collectBatches(ring, early, got), 0u);  // nothing new
  EXPECT_TRUE(got.empty());

  const std::uint64_t end = ring.next;
  initRing(ring);  // an initialised ring is kept as it is
  EXPECT_EQ(ring.next, end);
  EXPECT_EQ(end, 3u);
}

TEST(EventRing, ASlowReaderSkipsWhatWasOverwrittenAndKeepsTheRest) {
  RingMemory ring{};
  initRing(ring);
  std::uint64_t cursor = ring.next;
  const std::size_t total = kRingSlots + 5;
  for (std::uint32_t i = 0; i < total; ++i) {
    const std::uint32_t v[] = {i};
    ASSERT_TRUE(appendBatch(ring, v));
  }
  std::vector<EventBatch> got;
  EXPECT_EQ(collectBatches(ring, cursor, got), 5u);
  ASSERT_EQ(got.size(), kRingSlots);
  EXPECT_EQ(got.front().values[0], 5u);
  EXPECT_EQ(got.back().values[0], total - 1);
  EXPECT_EQ(cursor, ring.next);
}

TEST(EventRing, RejectsEmptyAndOversizedBatchesAndAForeignCursor) {
  RingMemory ring{};
  initRing(ring);
  std::vector<std::uint32_t> big(kMaxBatch + 1, 1);
  EXPECT_FALSE(appendBatch(ring, {}));
  EXPECT_FALSE(appendBatch(ring, big));
  big.pop_back();
  EXPECT_TRUE(appendBatch(ring, big));
  std::uint64_t ahead = ring.next + 100;  // from a ring that was since re-created
  std::vector<EventBatch> got;
  EXPECT_EQ(collectBatches(ring, ahead, got), 0u);
  EXPECT_TRUE(got.empty());
  EXPECT_EQ(ahead, ring.next);
}

TEST(EventRing, ListenerTableReusesFreedEntriesAndIsBounded) {
  RingMemory ring{};
  initRing(ring);
  std::vector<std::uint64_t> ids;
  for (std::size_t i = 0; i < kMaxListeners; ++i) {
    auto id = addListener(ring);
    ASSERT_TRUE(id);
    ids.push_back(*id);
  }
  EXPECT_FALSE(addListener(ring));
  removeListener(ring, ids[3]);
  auto again = addListener(ring);
  ASSERT_TRUE(again);
  EXPECT_NE(*again, ids[3]);  // ids are never reused: a stale wake-up name cannot match
  EXPECT_EQ(listenerIds(ring).size(), kMaxListeners);
}

TEST(EventClass, NotificationQueries) {
  struct Case {
    const char* language;
    const char* query;
    NotificationVerdict verdict;
  };
  const Case cases[] = {
      {"WQL", "Select * from ZEL_Event", NotificationVerdict::Subscribe},
      {"wql", "  SELECT  *  FROM  zel_event ", NotificationVerdict::Subscribe},
      {"SQL", "Select * from ZEL_Event", NotificationVerdict::InvalidQueryType},
      {"WQL", "Select * from ZEL_Nothing", NotificationVerdict::InvalidClass},
      {"WQL", "Select * from ZEL_Device", NotificationVerdict::NotEventClass},
      {"WQL", "Select * from ZEL_Event where ZELEvt = 1", NotificationVerdict::Unsupported},
      {"WQL", "Select from", NotificationVerdict::InvalidQuery},
  };
  for (const Case& c : cases)
    EXPECT_EQ(planNotificationQuery(c.language, c.query), c.verdict) << c.query;
  auto values = eventValues(0xABCD0156u);
  ASSERT_EQ(values.size(), eventClass().properties.size());
  EXPECT_EQ(std::get<std::int64_t>(values[2]), 0xABCD0156ll);
}

TEST(WmiService, ARestartEndsWhatWasMadeBeforeItAndRefusesConnectionsForAWhile) {
  const WmiServiceState fresh;
  EXPECT_FALSE(connectionRefused(fresh, 0));
  EXPECT_EQ(subscriptionFate(fresh, 0), SubscriptionFate::Live);

  const WmiServiceState s = restarted(fresh, 10000, 1500, false);
  struct Case {
    std::uint64_t now;
    bool refused;
  };
  for (const Case c : {Case{10000, true}, Case{11499, true}, Case{11500, false}, Case{99999, false}})
    EXPECT_EQ(connectionRefused(s, c.now), c.refused) << c.now;
  EXPECT_TRUE(objectGone(s, 0));
  EXPECT_FALSE(objectGone(s, s.generation));
  EXPECT_EQ(subscriptionFate(s, 0), SubscriptionFate::EndWithStatus);
  EXPECT_EQ(subscriptionFate(s, s.generation), SubscriptionFate::Live);

  // A second, silent restart ends both earlier generations without a word.
  const WmiServiceState quiet = restarted(s, 20000, 0, true);
  EXPECT_FALSE(connectionRefused(quiet, 20000));
  EXPECT_EQ(subscriptionFate(quiet, 0), SubscriptionFate::EndSilently);
  EXPECT_EQ(subscriptionFate(quiet, s.generation), SubscriptionFate::EndSilently);
  EXPECT_EQ(subscriptionFate(quiet, quiet.generation), SubscriptionFate::Live);
}

TEST(WmiService, TheDownTimeIsBounded) {
  const WmiServiceState s = restarted({}, 0, 0xFFFFFFFF, false);
  EXPECT_TRUE(connectionRefused(s, kMaxWmiDownMs - 1));
  EXPECT_FALSE(connectionRefused(s, kMaxWmiDownMs));
}

}  // namespace
}  // namespace emu
