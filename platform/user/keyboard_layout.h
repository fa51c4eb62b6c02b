// The keyboard layout of the platform: a US keyboard. Internal to the platform.
#pragma once

#include <windows.h>

namespace user {

// The character a key gives with Shift held or not; 0 for keys without one.
char character_of_key(int virtual_key, bool shift);

// The key, and whether Shift is needed, that types a character; false when no key does.
bool key_for_character(char c, int* virtual_key, bool* shift);

}  // namespace user
