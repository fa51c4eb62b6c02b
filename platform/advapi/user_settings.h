// The current user's registry keys (user_settings.cpp), for the registry
// calls that also answer other keys.
#pragma once

#include <windows.h>

// Opens HKCU's sub_key; create makes a key that has no file yet (it is
// written with its first value). ERROR_FILE_NOT_FOUND for a key that is not
// kept here or, without create, does not exist.
LSTATUS user_key_open(LPCSTR sub_key, bool create, PHKEY result);
// Closes a key user_key_open gave; false when key is not one of them.
bool user_key_close(HKEY key);
