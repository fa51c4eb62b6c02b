// Numbered objects: every window, gadget and font is known by a number that
// the application picks, or by an identifier that the registry hands out.
#pragma once

#include <windows.h>

#include <cstdint>

// Numbers and identifiers share one signed, pointer-sized space: an identifier
// is the address of an unnumbered record, so it needs the width of a pointer.
using ObjectNumber = std::intptr_t;

// Asks the registry for a new unnumbered record instead of a numbered slot.
constexpr ObjectNumber ANY_NUMBER = -1;

// The private heap that the program creates at start-up; the toolkit takes its
// registries and process-wide records from it.
extern HANDLE main_heap;

using ReuseRoutine = void (*)(ObjectNumber number);
using RecordRoutine = void (*)(void* record);

// A node of the list allocator. Callers see only the payload that follows it.
struct ListNode {
  ListNode* next;  // older node, null at the end
  ListNode* prev;  // newer node, null at the head
};

struct IdentifierSet;

struct ObjectRegistry {
  ObjectNumber slot_size;
  ObjectNumber increment;
  ObjectNumber capacity;
  ListNode* unnumbered;  // newest unnumbered record first
  ReuseRoutine on_reuse;
  ObjectNumber enum_index;
  ListNode* enum_cursor;
  std::uint8_t* slots;
  // Identifiers of the unnumbered records, so that a value is never taken for
  // an address unless it is one of this registry's own records.
  IdentifierSet* identifiers;
};

void list_heap_init();
// The heap of the list allocator, so that its blocks can be counted.
HANDLE list_heap_handle();
void* list_push(ListNode** head, SIZE_T size);
void list_unlink(ListNode** head, void* payload);

ObjectRegistry* registry_create(ObjectNumber slot_size, ObjectNumber increment, ReuseRoutine on_reuse);
void* registry_get_or_create(ObjectRegistry* registry, ObjectNumber number);
void* registry_lookup(ObjectRegistry* registry, ObjectNumber value);
// The record of a number or identifier whether it is in use or free; null
// when the registry has no such record.
void* registry_record(ObjectRegistry* registry, ObjectNumber value);
void registry_release(ObjectRegistry* registry, ObjectNumber value);
void registry_enum_begin(ObjectRegistry* registry);
void* registry_enum_next(ObjectRegistry* registry, ObjectNumber* out_value);

void* alloc_record(SIZE_T size, RecordRoutine init, RecordRoutine release);

// The identifier of an unnumbered record is its address.
inline ObjectNumber identifier_of(const void* record) { return reinterpret_cast<ObjectNumber>(record); }
