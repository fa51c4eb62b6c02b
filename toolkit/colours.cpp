// Gadget colours and attributes. Text and string gadgets paint with the
// colours they answer to their parent's WM_CTLCOLOR* requests; the progress
// bar is told its colours and range by control messages.
#include "colours.h"
#include "toolkit_internal.h"

#include <commctrl.h>

#include "events.h"

namespace {

// Guards the brush cache.
CRITICAL_SECTION brush_lock;

constexpr LONG default_colour = -1;

// Newest entry first; every walk and change holds the brush lock.
ListNode* brush_cache = nullptr;

BrushEntry* entry_of(ListNode* node) { return reinterpret_cast<BrushEntry*>(node + 1); }

// The answer to a colour request: the device context gets the gadget's
// colours, and the parent's procedure returns the brush of the background.
// Both colours at the default leave the painting to default processing.
LRESULT colour_answer(GadgetRecord* record, WPARAM device_context, int system_colour) {
  auto context = reinterpret_cast<HDC>(device_context);
  LRESULT answer = RESULT_DEFAULT;
  if (record->front_colour != default_colour) {
    SetTextColor(context, static_cast<COLORREF>(record->front_colour));
    if (record->back_colour == default_colour) {
      SetBkColor(context, GetSysColor(system_colour));
      answer = reinterpret_cast<LRESULT>(GetSysColorBrush(system_colour));
    }
  }
  if (record->back_colour != default_colour) {
    SetBkColor(context, static_cast<COLORREF>(record->back_colour));
    answer = reinterpret_cast<LRESULT>(record->back_brush);
  }
  return answer;
}

LRESULT text_message_hook(GadgetRecord* record, HWND, UINT message, WPARAM wparam, LPARAM) {
  if (message != WM_CTLCOLORSTATIC) return RESULT_DEFAULT;
  return colour_answer(record, wparam, COLOR_BTNFACE);
}

// An edit control asks with WM_CTLCOLORSTATIC when it is read-only or
// disabled; a disabled one keeps the system's look.
LRESULT string_message_hook(GadgetRecord* record, HWND, UINT message, WPARAM wparam, LPARAM) {
  bool asks = message == WM_CTLCOLOREDIT || (message == WM_CTLCOLORSTATIC && IsWindowEnabled(record->control));
  if (!asks) return RESULT_DEFAULT;
  return colour_answer(record, wparam, COLOR_BTNHIGHLIGHT);
}

void text_free(GadgetRecord* record) {
  if (record->back_brush != nullptr) brush_release(record->back_brush);
  record->back_brush = nullptr;
}

void text_set_colour(GadgetRecord* record, int colour_type, LONG colour) {
  if (colour_type == COLOUR_FRONT) {
    record->front_colour = colour;
  } else if (colour_type == COLOUR_BACK) {
    if (record->back_brush != nullptr) brush_release(record->back_brush);
    record->back_brush = colour == default_colour ? nullptr : brush_acquire(static_cast<COLORREF>(colour));
    record->back_colour = colour;
  }
  RedrawWindow(record->control, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE);
}

LONG any_get_colour(GadgetRecord* record, int colour_type) {
  if (colour_type == COLOUR_FRONT) return record->front_colour;
  if (colour_type == COLOUR_BACK) return record->back_colour;
  return default_colour;
}

LRESULT progress_range_end(GadgetRecord* record, BOOL low) {
  return SendMessageA(record->control, PBM_GETRANGE, static_cast<WPARAM>(low), 0);
}

LONG_PTR progress_get_attribute(GadgetRecord* record, int attribute) {
  if (attribute == ATTR_MINIMUM) return progress_range_end(record, TRUE);
  if (attribute == ATTR_MAXIMUM) return progress_range_end(record, FALSE);
  return 0;
}

// The bar has one message for both ends: the other end is read first and kept.
void progress_set_attribute(GadgetRecord* record, int attribute, LONG_PTR value) {
  if (attribute == ATTR_MINIMUM) {
    LRESULT high = progress_range_end(record, FALSE);
    SendMessageA(record->control, PBM_SETRANGE32, static_cast<WPARAM>(value), high);
  } else if (attribute == ATTR_MAXIMUM) {
    LRESULT low = progress_range_end(record, TRUE);
    SendMessageA(record->control, PBM_SETRANGE32, static_cast<WPARAM>(low), value);
  }
}

void progress_set_colour(GadgetRecord* record, int colour_type, LONG colour) {
  LPARAM sent = colour == default_colour ? static_cast<LPARAM>(CLR_DEFAULT) : static_cast<LPARAM>(colour);
  if (colour_type == COLOUR_FRONT) {
    SendMessageA(record->control, PBM_SETBARCOLOR, 0, sent);
    record->front_colour = colour;
  } else if (colour_type == COLOUR_BACK) {
    SendMessageA(record->control, PBM_SETBKCOLOR, 0, sent);
    record->back_colour = colour;
  }
}

}  // namespace

void fill_colour_slots(GadgetKind* kind) {
  switch (kind->kind_id) {
    case KIND_TEXT:
      kind->message_hook = text_message_hook;
      kind->free = text_free;
      kind->set_colour = text_set_colour;
      kind->get_colour = any_get_colour;
      break;
    case KIND_STRING:
      kind->message_hook = string_message_hook;
      kind->free = text_free;
      kind->set_colour = text_set_colour;
      kind->get_colour = any_get_colour;
      break;
    case KIND_PROGRESS_BAR:
      kind->get_attribute = progress_get_attribute;
      kind->set_attribute = progress_set_attribute;
      kind->set_colour = progress_set_colour;
      kind->get_colour = any_get_colour;
      break;
    default: break;
  }
}

HBRUSH brush_acquire(COLORREF colour) {
  EnterCriticalSection(&brush_lock);
  // One entry per colour, shared by all its holders.
  for (ListNode* node = brush_cache; node != nullptr; node = node->next) {
    BrushEntry* entry = entry_of(node);
    if (entry->colour != colour) continue;
    ++entry->count;
    LeaveCriticalSection(&brush_lock);
    return entry->brush;
  }
  HBRUSH brush = CreateSolidBrush(colour);
  // An entry is made only for a brush that exists: no holder would ever give
  // back an entry without one.
  auto* entry = brush != nullptr
                    ? static_cast<BrushEntry*>(list_push(&brush_cache, sizeof(ListNode) + sizeof(BrushEntry)))
                    : nullptr;
  if (entry != nullptr) {
    entry->colour = colour;
    entry->brush = brush;
    entry->count = 1;
  } else if (brush != nullptr) {
    DeleteObject(brush);  // it could not be cached, so nobody could release it
    brush = nullptr;
  }
  LeaveCriticalSection(&brush_lock);
  return brush;
}

void brush_release(HBRUSH brush) {
  EnterCriticalSection(&brush_lock);
  for (ListNode* node = brush_cache; node != nullptr; node = node->next) {
    BrushEntry* entry = entry_of(node);
    if (entry->brush != brush) continue;
    if (--entry->count == 0) {
      DeleteObject(entry->brush);
      list_unlink(&brush_cache, entry);
    }
    break;
  }
  LeaveCriticalSection(&brush_lock);
}

LONG brush_holders(HBRUSH brush) {
  if (brush == nullptr) return 0;
  LONG count = 0;
  EnterCriticalSection(&brush_lock);
  for (ListNode* node = brush_cache; node != nullptr; node = node->next) {
    if (entry_of(node)->brush != brush) continue;
    count = entry_of(node)->count;
    break;
  }
  LeaveCriticalSection(&brush_lock);
  return count;
}

void set_gadget_colour(ObjectNumber gadget, int colour_type, LONG colour) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr && record->kind->set_colour != nullptr) record->kind->set_colour(record, colour_type, colour);
}

LONG get_gadget_colour(ObjectNumber gadget, int colour_type) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr && record->kind->get_colour != nullptr) return record->kind->get_colour(record, colour_type);
  return 0;
}

void set_gadget_attribute(ObjectNumber gadget, int attribute, LONG_PTR value) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr && record->kind->set_attribute != nullptr)
    record->kind->set_attribute(record, attribute, value);
}

LONG_PTR get_gadget_attribute(ObjectNumber gadget, int attribute) {
  GadgetRecord* record = gadget_record(gadget);
  if (record != nullptr && record->kind->get_attribute != nullptr)
    return record->kind->get_attribute(record, attribute);
  return 0;
}

void colours_init() { InitializeCriticalSection(&brush_lock); }
