#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <random>
#include <vector>

#include "registry.h"
#include "toolkit_internal.h"

namespace {

struct Record {
  ObjectNumber handle;  // the liveness word
  ObjectNumber payload;
};

// Each test gets a fresh main heap; the registries go with it.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list_heap_init();
    main_heap = HeapCreate(0, 4096, 0);
    ASSERT_NE(main_heap, nullptr);
    reused.clear();
    current = nullptr;
  }
  void TearDown() override {
    HeapDestroy(main_heap);
    main_heap = nullptr;
  }

  // The on-reuse routine of a real family: free the object the number holds.
  static void release_on_reuse(ObjectNumber number) {
    reused.push_back(number);
    if (registry_lookup(current, number) != nullptr) registry_release(current, number);
  }

  ObjectRegistry* make(ObjectNumber increment = 50) {
    current = registry_create(sizeof(Record), increment, release_on_reuse);
    return current;
  }

  static Record* create(ObjectRegistry* registry, ObjectNumber number, ObjectNumber handle) {
    auto* record = static_cast<Record*>(registry_get_or_create(registry, number));
    if (record != nullptr) *record = {handle, handle * 10};
    return record;
  }

  static std::vector<ObjectNumber> enumerate(ObjectRegistry* registry) {
    std::vector<ObjectNumber> values;
    registry_enum_begin(registry);
    ObjectNumber value = 0;
    while (registry_enum_next(registry, &value) != nullptr) values.push_back(value);
    return values;
  }

  static inline std::vector<ObjectNumber> reused;
  static inline ObjectRegistry* current = nullptr;
};

TEST_F(RegistryTest, GrowsToTheNumberPlusTheIncrementAndKeepsRecords) {
  ObjectRegistry* registry = make(50);
  EXPECT_EQ(registry->capacity, 50);
  for (ObjectNumber n = 0; n < 50; ++n) create(registry, n, 100 + n);
  create(registry, 50, 150);
  EXPECT_EQ(registry->capacity, 100);
  create(registry, 1000, 1100);
  EXPECT_EQ(registry->capacity, 1050);
  for (ObjectNumber n = 0; n < 50; ++n) {
    auto* record = static_cast<Record*>(registry_lookup(registry, n));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->handle, 100 + n);
    EXPECT_EQ(record->payload, (100 + n) * 10);
  }
  EXPECT_EQ(registry_lookup(registry, 999), nullptr);
  EXPECT_NE(registry_lookup(registry, 1000), nullptr);

  // One slot at a time is the smallest growth.
  EXPECT_EQ(registry_create(sizeof(Record), 0, nullptr), nullptr);
  ObjectRegistry* single = make(1);
  ASSERT_NE(single, nullptr);
  create(single, 1, 7);
  EXPECT_EQ(single->capacity, 2);
}

TEST_F(RegistryTest, NumberedRequestCallsOnReuseEveryTime) {
  ObjectRegistry* registry = make();
  auto* slot = static_cast<Record*>(registry_get_or_create(registry, 0));
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->handle, 0);
  EXPECT_EQ(slot->payload, 0);
  EXPECT_EQ(reused, std::vector<ObjectNumber>{0});

  *slot = {7, 70};
  auto* again = static_cast<Record*>(registry_get_or_create(registry, 0));
  EXPECT_EQ(reused, (std::vector<ObjectNumber>{0, 0}));
  EXPECT_EQ(again->handle, 0) << "on_reuse released the old record";
}

TEST_F(RegistryTest, UnnumberedRecordsComeAfterNumberedOnesInCreationOrder) {
  ObjectRegistry* registry = make();
  create(registry, 5, 1);
  Record* first = create(registry, ANY_NUMBER, 2);
  Record* second = create(registry, ANY_NUMBER, 3);
  create(registry, 2, 4);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(reused, (std::vector<ObjectNumber>{5, 2})) << "no on_reuse for unnumbered records";

  const ObjectNumber first_id = identifier_of(first);
  const ObjectNumber second_id = identifier_of(second);
  EXPECT_EQ(enumerate(registry), (std::vector<ObjectNumber>{2, 5, first_id, second_id}));
  EXPECT_EQ(registry_lookup(registry, first_id), first);
  EXPECT_EQ(registry_lookup(registry, second_id), second);
}

TEST_F(RegistryTest, ReleasedAndUnfilledRecordsCountAsFree) {
  ObjectRegistry* registry = make();
  create(registry, 3, 30);
  registry_release(registry, 3);
  EXPECT_EQ(registry_lookup(registry, 3), nullptr);
  EXPECT_TRUE(enumerate(registry).empty());

  ASSERT_NE(registry_get_or_create(registry, 4), nullptr);  // handed out, never filled
  EXPECT_EQ(registry_lookup(registry, 4), nullptr);
  EXPECT_TRUE(enumerate(registry).empty());

  registry_release(registry, 4);  // releasing a free slot only zeroes it again
  EXPECT_EQ(registry_lookup(registry, 4), nullptr);

  Record* unnumbered = create(registry, ANY_NUMBER, 9);
  const ObjectNumber id = identifier_of(unnumbered);
  registry_release(registry, id);
  EXPECT_EQ(registry_lookup(registry, id), nullptr);
  EXPECT_TRUE(enumerate(registry).empty());
}

TEST_F(RegistryTest, FreeingDuringEnumerationVisitsEachRecordOnce) {
  ObjectRegistry* registry = make(16);
  std::vector<ObjectNumber> expected;
  for (ObjectNumber n : {0, 1, 7, 15, 40}) {
    create(registry, n, n + 1);
    expected.push_back(n);
  }
  for (int i = 0; i < 3; ++i) expected.push_back(identifier_of(create(registry, ANY_NUMBER, 99)));

  std::vector<ObjectNumber> visited;
  registry_enum_begin(registry);
  ObjectNumber value = 0;
  while (registry_enum_next(registry, &value) != nullptr) {
    visited.push_back(value);
    registry_release(registry, value);
  }
  EXPECT_EQ(visited, expected);
  EXPECT_TRUE(enumerate(registry).empty());
  EXPECT_EQ(registry->unnumbered, nullptr);
}

TEST_F(RegistryTest, ReleasingARecordAheadOfTheEnumerationIsSafe) {
  ObjectRegistry* registry = make();
  Record* a = create(registry, ANY_NUMBER, 1);
  Record* b = create(registry, ANY_NUMBER, 2);
  Record* c = create(registry, ANY_NUMBER, 3);
  registry_enum_begin(registry);
  ObjectNumber value = 0;
  ASSERT_EQ(registry_enum_next(registry, &value), a);
  registry_release(registry, identifier_of(b));  // the enumeration's next record
  ASSERT_EQ(registry_enum_next(registry, &value), c);
  EXPECT_EQ(registry_enum_next(registry, &value), nullptr);
}

TEST_F(RegistryTest, RefusesValuesThatAreNotItsOwn) {
  ObjectRegistry* registry = make();
  reused.clear();
  EXPECT_EQ(registry_get_or_create(registry, -2), nullptr);
  EXPECT_EQ(registry_get_or_create(registry, INTPTR_MIN), nullptr);
  EXPECT_TRUE(reused.empty()) << "no on_reuse for a refused number";

  // Values outside the slots that are no record's identifier are never read.
  Record elsewhere{1, 2};
  EXPECT_EQ(registry_lookup(registry, identifier_of(&elsewhere)), nullptr);
  EXPECT_EQ(registry_lookup(registry, -1), nullptr);
  EXPECT_EQ(registry_lookup(registry, -12345), nullptr);
  registry_release(registry, identifier_of(&elsewhere));
  EXPECT_EQ(elsewhere.handle, 1);

  // Another registry's record is not this one's.
  ObjectRegistry* other = registry_create(sizeof(Record), 16, nullptr);
  Record* foreign = create(other, ANY_NUMBER, 5);
  EXPECT_EQ(registry_lookup(registry, identifier_of(foreign)), nullptr);
  EXPECT_EQ(registry_lookup(other, identifier_of(foreign)), foreign);
}

TEST_F(RegistryTest, ExhaustedMemoryLeavesTheRegistryAsItWas) {
  HANDLE roomy = main_heap;
  main_heap = HeapCreate(0, 4096, 64 * 1024);  // a heap that cannot grow past 64 KiB
  ASSERT_NE(main_heap, nullptr);
  ObjectRegistry* registry = make(16);
  ASSERT_NE(registry, nullptr);
  create(registry, 3, 33);
  std::uint8_t* slots = registry->slots;

  EXPECT_EQ(registry_get_or_create(registry, 1'000'000), nullptr);
  EXPECT_EQ(registry->capacity, 16);
  EXPECT_EQ(registry->slots, slots);
  EXPECT_EQ(static_cast<Record*>(registry_lookup(registry, 3))->handle, 33);
  EXPECT_EQ(registry_get_or_create(registry, INTPTR_MAX), nullptr);
  EXPECT_EQ(registry->capacity, 16);

  // With the heap full, an unnumbered record cannot be indexed, so none is handed out.
  while (HeapAlloc(main_heap, 0, 64) != nullptr) {
  }
  EXPECT_EQ(registry_get_or_create(registry, ANY_NUMBER), nullptr);
  EXPECT_EQ(registry->unnumbered, nullptr);

  HeapDestroy(main_heap);
  main_heap = roomy;
}

TEST(ListAllocator, UnlinkingHeadMiddleAndTailKeepsLinksConsistent) {
  list_heap_init();
  for (int victim = 0; victim < 5; ++victim) {
    ListNode* head = nullptr;
    std::vector<void*> payloads;  // oldest first
    for (int i = 0; i < 5; ++i) payloads.push_back(list_push(&head, sizeof(ListNode) + 8));
    list_unlink(&head, payloads[static_cast<std::size_t>(victim)]);
    payloads.erase(payloads.begin() + victim);

    // Walking next from the head gives newest to oldest; prev must mirror it.
    std::vector<void*> walked;
    ListNode* previous = nullptr;
    for (ListNode* node = head; node != nullptr; node = node->next) {
      EXPECT_EQ(node->prev, previous);
      walked.push_back(node + 1);
      previous = node;
    }
    std::reverse(walked.begin(), walked.end());
    EXPECT_EQ(walked, payloads) << "victim " << victim;
    while (head != nullptr) list_unlink(&head, head + 1);
  }
}

TEST(AllocRecord, GivesAZeroedRecordAndRunsInit) {
  list_heap_init();
  main_heap = HeapCreate(0, 4096, 0);
  static int inits = 0;
  auto* record = static_cast<std::uint8_t*>(alloc_record(
      64,
      [](void* r) {
        ++inits;
        EXPECT_EQ(static_cast<std::uint8_t*>(r)[63], 0);
      },
      nullptr));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(inits, 1);
  EXPECT_TRUE(std::all_of(record, record + 64, [](std::uint8_t b) { return b == 0; }));
  EXPECT_NE(alloc_record(8, nullptr, nullptr), nullptr);
  HeapDestroy(main_heap);
  main_heap = nullptr;
}

// Thousands of mixed operations against a plain model of the registry.
TEST_F(RegistryTest, AgreesWithASimpleModelUnderRandomOperations) {
  ObjectRegistry* registry = make(8);
  std::map<ObjectNumber, ObjectNumber> numbered;                  // number -> handle
  std::vector<std::pair<ObjectNumber, ObjectNumber>> unnumbered;  // (identifier, handle), oldest first
  std::mt19937 random(20261207);
  ObjectNumber next_handle = 1;

  for (int step = 0; step < 20000; ++step) {
    const int action = static_cast<int>(random() % 100);
    if (action < 35) {
      const auto number = static_cast<ObjectNumber>(random() % 300);
      reused.clear();
      const ObjectNumber old_capacity = registry->capacity;
      Record* record = create(registry, number, next_handle);
      ASSERT_NE(record, nullptr);
      ASSERT_EQ(reused, std::vector<ObjectNumber>{number});
      if (number >= old_capacity) {
        ASSERT_EQ(registry->capacity, number + 8);
      }
      numbered[number] = next_handle++;
    } else if (action < 50) {
      Record* record = create(registry, ANY_NUMBER, next_handle);
      ASSERT_NE(record, nullptr);
      unnumbered.emplace_back(identifier_of(record), next_handle++);
    } else if (action < 70) {
      if (random() % 2 == 0 && !unnumbered.empty()) {
        const std::size_t index = random() % unnumbered.size();
        registry_release(registry, unnumbered[index].first);
        unnumbered.erase(unnumbered.begin() + static_cast<std::ptrdiff_t>(index));
      } else {
        const auto number = static_cast<ObjectNumber>(random() % 300);
        registry_release(registry, number);
        numbered.erase(number);
      }
    } else if (action < 95) {
      const auto number = static_cast<ObjectNumber>(random() % 320);
      auto* record = static_cast<Record*>(registry_lookup(registry, number));
      auto it = numbered.find(number);
      if (it == numbered.end()) {
        ASSERT_EQ(record, nullptr) << number;
      } else {
        ASSERT_NE(record, nullptr) << number;
        ASSERT_EQ(record->handle, it->second);
      }
      for (const auto& [id, handle] : unnumbered) {
        auto* found = static_cast<Record*>(registry_lookup(registry, id));
        ASSERT_NE(found, nullptr);
        ASSERT_EQ(found->handle, handle);
      }
    } else {
      std::vector<ObjectNumber> expected;
      for (const auto& entry : numbered) expected.push_back(entry.first);
      for (const auto& entry : unnumbered) expected.push_back(entry.first);
      ASSERT_EQ(enumerate(registry), expected) << "step " << step;
    }
  }
}

}  // namespace
