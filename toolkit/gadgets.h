// Gadgets: child controls on a toolkit window, known by number. Each kind has
// a table of operation slots; the generic operations call a kind's slot when
// it is filled and otherwise fall back to the plain control messages.
#pragma once

#include <windows.h>

#include <string>

#include "registry.h"

struct GadgetKind;

struct GadgetRecord {
  HWND control;  // non-zero while the gadget exists
  GadgetKind* kind;
  WNDPROC previous_procedure;  // the procedure gadget_procedure passes every message on to
  LONG back_colour;   // COLORREF, or -1 for the default
  LONG front_colour;  // text (or bar) colour, or -1 for the default
  HBRUSH back_brush;  // cached brush of back_colour, or null
};

using MessageHookSlot = LRESULT (*)(GadgetRecord* record, HWND parent, UINT message, WPARAM wparam, LPARAM lparam);
using FreeSlot = void (*)(GadgetRecord* record);
using GetStateSlot = int (*)(GadgetRecord* record);
using SetStateSlot = void (*)(GadgetRecord* record, int state);
using GetTextSlot = std::string (*)(GadgetRecord* record);
using SetTextSlot = void (*)(GadgetRecord* record, const char* text);
using GetAttributeSlot = LONG_PTR (*)(GadgetRecord* record, int attribute);
using SetAttributeSlot = void (*)(GadgetRecord* record, int attribute, LONG_PTR value);
using SetColourSlot = void (*)(GadgetRecord* record, int colour_type, LONG colour);
using GetColourSlot = LONG (*)(GadgetRecord* record, int colour_type);

// A kind's table: two header words and 35 slots, numbered from 1. Slots that
// no kind of this toolkit fills are kept as reserved words.
struct GadgetKind {
  LONG_PTR kind_id;
  LONG_PTR table_size;  // bytes
  MessageHookSlot message_hook;  // slot 1
  FreeSlot free;                 // 2
  GetStateSlot get_state;        // 3
  SetStateSlot set_state;        // 4
  GetTextSlot get_text;          // 5
  SetTextSlot set_text;          // 6
  void* reserved_7_to_24[18];
  GetAttributeSlot get_attribute;  // 25
  SetAttributeSlot set_attribute;  // 26
  void* reserved_27_to_28[2];
  SetColourSlot set_colour;  // 29
  GetColourSlot get_colour;  // 30
  void* reserved_31_to_35[5];
};
static_assert(sizeof(GadgetKind) == 37 * sizeof(void*), "a kind's table is 37 words");

constexpr LONG_PTR KIND_BUTTON = 1;
constexpr LONG_PTR KIND_STRING = 2;
constexpr LONG_PTR KIND_TEXT = 3;
constexpr LONG_PTR KIND_PROGRESS_BAR = 14;

// Creation flags with a meaning of their own (all flags are also OR-ed into the style).
constexpr DWORD TEXT_CENTER = 0x1;          // SS_CENTER
constexpr DWORD TEXT_BORDER = 0x20000;      // adds a sunken edge
constexpr DWORD STRING_BORDERLESS = 0x20000;  // leaves the sunken edge out

struct GadgetList {
  HWND parent;  // where new gadgets are created
  LONG_PTR cleared_word;
  HFONT default_font;  // given to every new gadget
  LONG_PTR* table;     // ten entries on main_heap
  LONG_PTR table_capacity;
};

extern GadgetList* gadget_list;
extern ObjectRegistry* gadget_registry;
// Guards the brush cache of the gadget colours.
extern CRITICAL_SECTION brush_lock;

void gadgets_init();
HWND set_gadget_parent(HWND window);

// Each gives the control's handle for a number, the identifier for
// ANY_NUMBER, and 0 when the control cannot be created.
ObjectNumber create_text_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                DWORD flags = 0);
ObjectNumber create_string_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                  DWORD flags = 0);
ObjectNumber create_button_gadget(ObjectNumber number, int x, int y, int width, int height, const char* text,
                                  DWORD flags = 0);
ObjectNumber create_progress_bar(ObjectNumber number, int x, int y, int width, int height, int minimum, int maximum,
                                 DWORD flags = 0);

ObjectNumber attach_gadget(ObjectNumber number, GadgetRecord* record, HWND control, GadgetKind* kind);
LRESULT CALLBACK gadget_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK string_field_procedure(HWND control, UINT message, WPARAM wparam, LPARAM lparam);
HWND find_toolkit_window(HWND control);

GadgetRecord* gadget_record(ObjectNumber gadget);
void set_gadget_text(ObjectNumber gadget, const char* text);
std::string get_gadget_text(ObjectNumber gadget);
void set_gadget_state(ObjectNumber gadget, int state);
int get_gadget_state(ObjectNumber gadget);
// gadget -1 changes the default font of later gadgets; font -1 is the stock GUI font.
void set_gadget_font(ObjectNumber gadget, HFONT font);
void free_gadget(ObjectNumber gadget);
