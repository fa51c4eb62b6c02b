#include "line.h"

SerialPort open_program_port(const std::string& settings) {
  return serial_open(settings.c_str(), HANDSHAKE_NONE, QUEUE_SIZE, QUEUE_SIZE);
}

DWORD Line::input_count() {
  SetLastError(ERROR_SUCCESS);
  const DWORD count = serial_input_count(port_);
  if (count == 0) note_failure_if_reported();
  return count;
}

bool Line::read(char* into) {
  SetLastError(ERROR_SUCCESS);
  if (serial_read(port_, into, 1) != 0) return true;
  note_failure_if_reported();
  return false;
}

void Line::write(std::string_view bytes) {
  SetLastError(ERROR_SUCCESS);
  if (serial_write(port_, bytes.data(), static_cast<DWORD>(bytes.size())) == 0) note_failure_if_reported();
}

void Line::note_failure_if_reported() {
  if (GetLastError() != ERROR_SUCCESS) lost_ = true;
}

void Line::close() {
  if (port_ != nullptr) serial_close(port_);
  port_ = nullptr;
}

bool Line::reopen(const std::string& settings) {
  close();
  port_ = open_program_port(settings);
  lost_ = false;
  return port_ != nullptr;
}
