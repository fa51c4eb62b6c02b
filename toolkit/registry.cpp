// The numbered object registry and the list allocator beneath it.
#include "registry.h"
#include "toolkit_internal.h"

#include <cstring>
#include <limits>

HANDLE main_heap = nullptr;

namespace {

HANDLE list_heap = nullptr;

constexpr ObjectNumber number_max = std::numeric_limits<ObjectNumber>::max();

ListNode* node_of(void* payload) { return static_cast<ListNode*>(payload) - 1; }
void* payload_of(ListNode* node) { return node + 1; }

bool is_live(const void* record) {
  ObjectNumber first_word;
  std::memcpy(&first_word, record, sizeof first_word);
  return first_word != 0;
}

}  // namespace

// An open-addressing hash set of identifiers (record addresses), kept on the
// main heap beside the registry. Addresses are never 0 or 1, so those two
// values mark empty and deleted entries.
struct IdentifierSet {
  SIZE_T capacity;  // a power of two, or 0 before the first insertion
  SIZE_T used;      // live entries plus deleted markers
  SIZE_T live;
  ObjectNumber* keys;
};

namespace {

constexpr ObjectNumber empty_key = 0;
constexpr ObjectNumber deleted_key = 1;

SIZE_T hash_of(ObjectNumber key, SIZE_T capacity) {
  auto bits = static_cast<std::uint64_t>(key);
  bits ^= bits >> 33;
  bits *= 0xff51afd7ed558ccdull;
  bits ^= bits >> 33;
  return static_cast<SIZE_T>(bits) & (capacity - 1);
}

// The slot that holds key, or the first empty one on its probe path.
SIZE_T probe(const IdentifierSet& set, ObjectNumber key) {
  SIZE_T index = hash_of(key, set.capacity);
  while (set.keys[index] != empty_key && set.keys[index] != key) index = (index + 1) & (set.capacity - 1);
  return index;
}

bool set_contains(const IdentifierSet* set, ObjectNumber key) {
  if (set == nullptr || set->capacity == 0 || key == empty_key || key == deleted_key) return false;
  return set->keys[probe(*set, key)] == key;
}

bool set_rehash(IdentifierSet* set, SIZE_T capacity) {
  auto* keys = static_cast<ObjectNumber*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, capacity * sizeof(ObjectNumber)));
  if (keys == nullptr) return false;
  IdentifierSet grown{capacity, 0, 0, keys};
  for (SIZE_T i = 0; i < set->capacity; ++i) {
    ObjectNumber key = set->keys[i];
    if (key == empty_key || key == deleted_key) continue;
    grown.keys[probe(grown, key)] = key;
    ++grown.used;
    ++grown.live;
  }
  free_block(set->keys);
  *set = grown;
  return true;
}

bool set_insert(IdentifierSet* set, ObjectNumber key) {
  // Keep at most half of the table in use, deleted markers included.
  if ((set->used + 1) * 2 > set->capacity) {
    SIZE_T capacity = set->capacity == 0 ? 16 : set->capacity;
    while ((set->live + 1) * 2 > capacity / 2) capacity *= 2;
    if (!set_rehash(set, capacity)) return false;
  }
  SIZE_T index = probe(*set, key);
  if (set->keys[index] == key) return true;
  set->keys[index] = key;
  ++set->used;
  ++set->live;
  return true;
}

void set_remove(IdentifierSet* set, ObjectNumber key) {
  if (!set_contains(set, key)) return;
  set->keys[probe(*set, key)] = deleted_key;
  --set->live;
}

}  // namespace

void list_heap_init() {
  if (list_heap == nullptr) list_heap = HeapCreate(0, 1024, 0);
}

HANDLE list_heap_handle() { return list_heap; }

void* list_push(ListNode** head, SIZE_T size) {
  if (size < sizeof(ListNode)) size = sizeof(ListNode);
  auto* node = static_cast<ListNode*>(HeapAlloc(list_heap, HEAP_ZERO_MEMORY, size));
  if (node == nullptr) return nullptr;
  if (*head != nullptr) {
    (*head)->prev = node;
    node->next = *head;
  }
  *head = node;
  return payload_of(node);
}

void list_unlink(ListNode** head, void* payload) {
  ListNode* node = node_of(payload);
  if (node == *head) {
    *head = node->next;
    if (*head != nullptr) (*head)->prev = nullptr;
  } else {
    node->prev->next = node->next;
    if (node->next != nullptr) node->next->prev = node->prev;
  }
  HeapFree(list_heap, 0, node);
}

ObjectRegistry* registry_create(ObjectNumber slot_size, ObjectNumber increment, ReuseRoutine on_reuse) {
  // A record must at least hold its liveness word.
  if (slot_size < static_cast<ObjectNumber>(sizeof(ObjectNumber)) || increment < 1) return nullptr;
  if (increment > number_max / slot_size) return nullptr;
  auto* registry = static_cast<ObjectRegistry*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(ObjectRegistry)));
  auto* identifiers = static_cast<IdentifierSet*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, sizeof(IdentifierSet)));
  auto* slots =
      static_cast<std::uint8_t*>(HeapAlloc(main_heap, HEAP_ZERO_MEMORY, static_cast<SIZE_T>(slot_size * increment)));
  if (registry == nullptr || identifiers == nullptr || slots == nullptr) {
    free_block(registry);
    free_block(identifiers);
    free_block(slots);
    return nullptr;
  }
  registry->slot_size = slot_size;
  registry->increment = increment;
  registry->on_reuse = on_reuse;
  registry->capacity = increment;
  registry->unnumbered = nullptr;
  registry->slots = slots;
  registry->identifiers = identifiers;
  return registry;
}

namespace {

// Grows the slot array to number + increment slots; on failure nothing changes.
bool grow_to_hold(ObjectRegistry* registry, ObjectNumber number) {
  if (number > number_max - registry->increment) return false;
  ObjectNumber capacity = number + registry->increment;
  if (capacity > number_max / registry->slot_size) return false;
  auto bytes = static_cast<SIZE_T>(capacity * registry->slot_size);
  void* slots = HeapReAlloc(main_heap, HEAP_ZERO_MEMORY, registry->slots, bytes);
  if (slots == nullptr) return false;
  registry->slots = static_cast<std::uint8_t*>(slots);
  registry->capacity = capacity;
  return true;
}

void* slot_of(ObjectRegistry* registry, ObjectNumber number) { return registry->slots + number * registry->slot_size; }

bool is_slot(const ObjectRegistry* registry, ObjectNumber value) { return value >= 0 && value < registry->capacity; }

}  // namespace

void* registry_get_or_create(ObjectRegistry* registry, ObjectNumber number) {
  if (number == ANY_NUMBER) {
    void* record = list_push(&registry->unnumbered, sizeof(ListNode) + static_cast<SIZE_T>(registry->slot_size));
    if (record == nullptr) return nullptr;
    if (!set_insert(registry->identifiers, identifier_of(record))) {
      list_unlink(&registry->unnumbered, record);
      return nullptr;
    }
    return record;
  }
  if (number < 0) return nullptr;
  if (number >= registry->capacity && !grow_to_hold(registry, number)) return nullptr;
  if (registry->on_reuse != nullptr) registry->on_reuse(number);
  return slot_of(registry, number);
}

void* registry_record(ObjectRegistry* registry, ObjectNumber value) {
  if (is_slot(registry, value)) return slot_of(registry, value);
  if (set_contains(registry->identifiers, value)) return reinterpret_cast<void*>(value);
  return nullptr;
}

void* registry_lookup(ObjectRegistry* registry, ObjectNumber value) {
  void* candidate = registry_record(registry, value);
  return candidate != nullptr && is_live(candidate) ? candidate : nullptr;
}

void registry_release(ObjectRegistry* registry, ObjectNumber value) {
  if (is_slot(registry, value)) {
    std::memset(slot_of(registry, value), 0, static_cast<SIZE_T>(registry->slot_size));
    return;
  }
  if (!set_contains(registry->identifiers, value)) return;
  auto* record = reinterpret_cast<void*>(value);
  // Releasing a record that the enumeration has yet to reach must not leave
  // the cursor on a freed node.
  if (registry->enum_cursor == node_of(record)) registry->enum_cursor = registry->enum_cursor->prev;
  set_remove(registry->identifiers, value);
  list_unlink(&registry->unnumbered, record);
}

void registry_enum_begin(ObjectRegistry* registry) {
  registry->enum_index = 0;
  ListNode* oldest = registry->unnumbered;
  while (oldest != nullptr && oldest->next != nullptr) oldest = oldest->next;
  registry->enum_cursor = oldest;
}

void* registry_enum_next(ObjectRegistry* registry, ObjectNumber* out_value) {
  while (is_slot(registry, registry->enum_index)) {
    ObjectNumber number = registry->enum_index++;
    void* slot = slot_of(registry, number);
    if (is_live(slot)) {
      *out_value = number;
      return slot;
    }
  }
  if (registry->enum_cursor == nullptr) return nullptr;
  void* record = payload_of(registry->enum_cursor);
  *out_value = identifier_of(record);
  registry->enum_cursor = registry->enum_cursor->prev;
  return record;
}

void* alloc_record(SIZE_T size, RecordRoutine init, RecordRoutine release) {
  // The toolkit's process-wide records live until the process ends, so the
  // release routine is recorded by the caller's choice but never run here.
  (void)release;
  void* record = HeapAlloc(main_heap, HEAP_ZERO_MEMORY, size);
  if (record != nullptr && init != nullptr) init(record);
  return record;
}

void free_block(void* block) {
  if (block != nullptr) HeapFree(main_heap, 0, block);
}
