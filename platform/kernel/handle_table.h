// The kernel's handle table. Every object that CreateFileA and
// CreateWaitableTimerW hand out lives here under a small, never-zero, never-(-1) handle
// value, so that CloseHandle can close any of them and every function can
// refuse a handle of the wrong kind.
#pragma once

#include <windows.h>

#include <memory>

enum class HandleKind {
  serial_device,
  waitable_timer,
  disk_file,
};

class KernelObject {
 public:
  explicit KernelObject(HandleKind kind) : kind_(kind) {}
  virtual ~KernelObject() = default;
  KernelObject(const KernelObject&) = delete;
  KernelObject& operator=(const KernelObject&) = delete;

  HandleKind kind() const { return kind_; }

  // Releases what the object holds; false (with the last error set) when the
  // system reported a failure. Called once, by CloseHandle.
  virtual bool close() = 0;

  // Waiting (MsgWaitForMultipleObjects): the descriptor that becomes readable
  // when the object may have become signalled, -1 for an object that cannot
  // be waited on; and whether it is signalled now, which for an auto-reset
  // object also resets it, as the wait that it satisfies does.
  virtual int wait_descriptor() const { return -1; }
  virtual bool take_signal() { return false; }
  // Signalled already, with nothing left to read on the descriptor (a
  // manual-reset object that stays signalled): a wait must not rely on the
  // descriptor alone to find it.
  virtual bool holds_signal() const { return false; }

 private:
  HandleKind kind_;
};

// Takes ownership of object and returns its handle, or nullptr (with the last
// error set) when the table is full.
HANDLE handle_insert(std::unique_ptr<KernelObject> object);

// The object behind handle when it is of the given kind, else nullptr with the
// last error set to ERROR_INVALID_HANDLE. The pointer stays valid until the
// handle is closed; the program is single-threaded, so nothing closes it
// behind the caller's back.
KernelObject* handle_lookup(HANDLE handle, HandleKind kind);

// The object behind handle whatever its kind, else nullptr with the last
// error set to ERROR_INVALID_HANDLE.
KernelObject* handle_lookup_any(HANDLE handle);

template <typename Object>
Object* handle_object(HANDLE handle) {
  return static_cast<Object*>(handle_lookup(handle, Object::handle_kind));
}

// The Win32 error that stands for a failed system call's errno.
DWORD error_from_errno(int error);
