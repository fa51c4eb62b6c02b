#include "start_values.h"

#include <windows.h>

#include <algorithm>

namespace {

constexpr const char* SETTINGS_KEY = "Software\\Velmorant\\Demo";
constexpr DWORD MAX_VALUE_BYTES = 64;

// A value as the field could hold it: printable, on one line, not empty.
bool showable(const Text& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

void read_value(HKEY key, const char* name, Text& value) {
  char data[MAX_VALUE_BYTES + 1] = {};
  DWORD type = 0, size = MAX_VALUE_BYTES;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) return;
  if (type != REG_SZ) return;
  const Text text(data);  // data stays zero-ended: one byte more than the size given
  if (showable(text)) value = text;
}

void write_value(HKEY key, const char* name, const Text& value) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
}

}  // namespace

StartValues remembered_start_values() {
  StartValues values;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return values;
  read_value(key, "Port", values.port);
  read_value(key, "Group", values.group);
  RegCloseKey(key);
  return values;
}

void remember_start_values(const StartValues& values) {
  if (!showable(values.port) || values.port.size() > MAX_VALUE_BYTES || values.group.size() > MAX_VALUE_BYTES) return;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                      &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  write_value(key, "Port", values.port);
  write_value(key, "Group", values.group);
  RegCloseKey(key);
}
