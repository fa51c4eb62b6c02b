// Screen fonts loaded by face, size in points and style, known by number.
#pragma once

#include <windows.h>

#include "registry.h"

constexpr DWORD FONT_UNDERLINE = 0x4;
constexpr DWORD FONT_STRIKEOUT = 0x8;
constexpr DWORD FONT_HIGH_QUALITY = 0x10;
constexpr DWORD FONT_BOLD = 0x100;
constexpr DWORD FONT_ITALIC = 0x200;

void init_fonts();
// The font's handle for a number, its identifier for ANY_NUMBER, 0 on failure.
ObjectNumber load_font(ObjectNumber number, const char* face, int size, DWORD flags = 0);
HFONT font_handle(ObjectNumber font);
// Non-zero when the font existed and has been deleted.
int free_font(ObjectNumber font);
void free_all_fonts();
