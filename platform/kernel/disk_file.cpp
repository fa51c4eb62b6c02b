// CreateFileA for a path ("/home/me/trace.txt", "trace.txt") and the life of
// a file's handle. Another local user is an adversary here: a shared folder
// such as /tmp lets anyone plant a link or a file where a program is about to
// write, which Windows' per-user folders do not.
//
// Win32                                  Linux
// a new file, with the folder's default  open(O_CREAT | O_EXCL | O_NOFOLLOW),
// ACL (a user's folder: the user, the    then fchmod 0600 whatever the umask:
// administrators and SYSTEM only)        the user alone
// FILE_FLAG_OPEN_REPARSE_POINT: a link   a link is never followed: the handle
// is opened as itself                    holds the link itself (O_PATH), its
//                                        attributes say FILE_ATTRIBUTE_REPARSE_POINT,
//                                        and it reads and writes nothing
// GetFileType: FILE_TYPE_DISK, _CHAR     regular file (and a link): DISK; a
// (NUL, CON), _PIPE                      device: CHAR; a FIFO or socket: PIPE.
//                                        These are looked at, never opened (a
//                                        FIFO's open would wait for its other
//                                        end, a device's disturbs it): their
//                                        handles read and write nothing
// a directory without                    ERROR_ACCESS_DENIED
// FILE_FLAG_BACKUP_SEMANTICS
// (no counterpart)                       write access to another user's file:
//                                        ERROR_INVALID_OWNER, the file untouched
// FILE_APPEND_DATA alone: every write    O_APPEND
// goes to the end
// CREATE_ALWAYS, TRUNCATE_EXISTING       ftruncate, only after the checks
// WriteFile on a file: all or an error   write() until all is written; when
// (a full disk: ERROR_DISK_FULL)         the disk fills up part way, the part
//                                        written is cut off again, so that a
//                                        write is whole or not at all
#include "disk_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "kernel/handle_table.h"

namespace {

constexpr mode_t NEW_FILE_MODE = 0600;
constexpr DWORD WRITE_ACCESS = GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD READ_ACCESS = GENERIC_READ | FILE_READ_DATA;

class DiskFile final : public KernelObject {
 public:
  static constexpr HandleKind handle_kind = HandleKind::disk_file;

  // data: whether fd was opened for reading or writing (else it is an
  // O_PATH descriptor that only names the file).
  DiskFile(int descriptor, bool opened, bool may_read, bool may_write, bool appending)
      : KernelObject(handle_kind),
        fd(descriptor),
        data(opened),
        reads(may_read),
        writes(may_write),
        appends(appending) {}
  ~DiskFile() override {
    if (fd >= 0) ::close(fd);
  }
  bool close() override {
    const int result = ::close(fd);
    fd = -1;
    if (result != 0) {
      SetLastError(error_from_errno(errno));
      return false;
    }
    return true;
  }

  int fd;
  const bool data;
  const bool reads;
  const bool writes;
  const bool appends;
};

DWORD file_error(int error) {
  switch (error) {
    case ENOSPC: return ERROR_DISK_FULL;
    case EDQUOT: return ERROR_DISK_QUOTA_EXCEEDED;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EIO: return ERROR_IO_DEVICE;
    default: return error_from_errno(error);
  }
}

HANDLE fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

HANDLE insert(int fd, bool data, DWORD access, DWORD last_error) {
  const bool writes = data && (access & WRITE_ACCESS);
  const bool appends = writes && (access & (GENERIC_WRITE | FILE_WRITE_DATA)) == 0;
  HANDLE handle = handle_insert(std::make_unique<DiskFile>(fd, data, data && (access & READ_ACCESS), writes, appends));
  if (handle == nullptr) return INVALID_HANDLE_VALUE;  // the object closed fd
  SetLastError(last_error);
  return handle;
}

int data_flags(DWORD access) {
  const bool reads = access & READ_ACCESS;
  const bool writes = access & WRITE_ACCESS;
  int flags = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
  if (writes && (access & (GENERIC_WRITE | FILE_WRITE_DATA)) == 0) flags |= O_APPEND;
  return flags | O_CLOEXEC | O_NOCTTY;
}

bool creates(DWORD disposition) {
  return disposition == CREATE_NEW || disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS;
}

FILETIME file_time(const timespec& time) {
  constexpr std::int64_t SECONDS_FROM_1601_TO_1970 = 11644473600;
  const auto units =
      static_cast<std::uint64_t>((time.tv_sec + SECONDS_FROM_1601_TO_1970) * 10000000 + time.tv_nsec / 100);
  return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

DiskFile* disk_file(HANDLE handle) { return handle_object<DiskFile>(handle); }

}  // namespace

HANDLE create_disk_file(LPCSTR name, DWORD access, DWORD disposition, DWORD flags) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return fail(ERROR_INVALID_PARAMETER);
  if (flags & FILE_FLAG_OVERLAPPED) return fail(ERROR_INVALID_PARAMETER);  // only synchronous I/O here
  if (disposition == TRUNCATE_EXISTING && !(access & (GENERIC_WRITE | FILE_WRITE_DATA)))
    return fail(ERROR_INVALID_PARAMETER);
  const bool follow_links = !(flags & FILE_FLAG_OPEN_REPARSE_POINT);
  const bool wants_data = (access & (READ_ACCESS | WRITE_ACCESS)) != 0;

  // A new file: O_EXCL never follows a link, dangling or not.
  if (creates(disposition)) {
    const int fd = open(name, data_flags(access) | O_CREAT | O_EXCL, NEW_FILE_MODE);
    if (fd >= 0) {
      fchmod(fd, NEW_FILE_MODE);  // the umask may have taken bits away
      if (!wants_data) {
        ::close(fd);
        const int named = open(name, O_PATH | O_NOFOLLOW | O_CLOEXEC);
        if (named < 0) return fail(file_error(errno));
        return insert(named, false, access, ERROR_SUCCESS);
      }
      return insert(fd, true, access, ERROR_SUCCESS);
    }
    if (errno == ENOENT || errno == ENOTDIR) return fail(ERROR_PATH_NOT_FOUND);
    if (errno != EEXIST) return fail(file_error(errno));
    if (disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
  }

  // What stands there is looked at before anything opens it: O_PATH opens
  // no FIFO, no device and follows no link unless asked to.
  const int named = open(name, O_PATH | O_CLOEXEC | (follow_links ? 0 : O_NOFOLLOW));
  if (named < 0) return fail(errno == ENOENT && !creates(disposition) ? ERROR_FILE_NOT_FOUND : file_error(errno));
  struct stat seen {};
  if (fstat(named, &seen) != 0) {
    const int error = errno;
    ::close(named);
    return fail(file_error(error));
  }
  const DWORD existed = creates(disposition) ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
  if (S_ISDIR(seen.st_mode)) {
    ::close(named);
    return fail(ERROR_ACCESS_DENIED);
  }
  if (!S_ISREG(seen.st_mode) || !wants_data) return insert(named, false, access, existed);
  if ((access & WRITE_ACCESS) && seen.st_uid != geteuid()) {
    ::close(named);
    return fail(ERROR_INVALID_OWNER);
  }
  // The very file looked at, opened again through its descriptor: nobody can
  // put anything else under the name in between.
  const std::string self = "/proc/self/fd/" + std::to_string(named);
  int fd = open(self.c_str(), data_flags(access));
  if (fd < 0 && errno == ENOENT) {  // no /proc: by name, and then compared
    fd = open(name, data_flags(access) | O_NONBLOCK | (follow_links ? 0 : O_NOFOLLOW));
    struct stat opened {};
    if (fd >= 0 && (fstat(fd, &opened) != 0 || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino)) {
      ::close(fd);
      ::close(named);
      return fail(ERROR_SHARING_VIOLATION);
    }
  }
  const int error = errno;
  ::close(named);
  if (fd < 0) return fail(file_error(error));
  if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && ftruncate(fd, 0) != 0) {
    const int truncate_error = errno;
    ::close(fd);
    return fail(file_error(truncate_error));
  }
  return insert(fd, true, access, existed);
}

bool is_disk_file(HANDLE handle) {
  const KernelObject* object = handle_lookup_any(handle);
  return object != nullptr && object->kind() == HandleKind::disk_file;
}

BOOL read_disk_file(HANDLE handle, LPVOID buffer, DWORD to_read, LPDWORD read_count) {
  if (read_count != nullptr) *read_count = 0;
  DiskFile* file = disk_file(handle);
  if (file == nullptr) return FALSE;
  if (!file->reads) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  auto* bytes = static_cast<char*>(buffer);
  DWORD done = 0;
  while (done < to_read) {
    const ssize_t got = read(file->fd, bytes + done, to_read - done);
    if (got == 0) break;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      SetLastError(file_error(errno));
      return FALSE;
    }
    done += static_cast<DWORD>(got);
  }
  if (read_count != nullptr) *read_count = done;
  return TRUE;
}

BOOL write_disk_file(HANDLE handle, LPCVOID buffer, DWORD to_write, LPDWORD written) {
  if (written != nullptr) *written = 0;
  DiskFile* file = disk_file(handle);
  if (file == nullptr) return FALSE;
  if (!file->writes) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  struct stat before {};
  const bool sized = file->appends && fstat(file->fd, &before) == 0;
  const auto* bytes = static_cast<const char*>(buffer);
  DWORD done = 0;
  while (done < to_write) {
    const ssize_t put = write(file->fd, bytes + done, to_write - done);
    if (put > 0) {
      done += static_cast<DWORD>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    const int error = put < 0 ? errno : ENOSPC;
    // Cut off what went in, unless another writer has appended meanwhile.
    struct stat after {};
    // A cut that fails leaves the part in the file; the caller still hears of
    // the failed write, which is what it acts on.
    const bool cut_off = done > 0 && sized && fstat(file->fd, &after) == 0 && after.st_size == before.st_size + done &&
                         ftruncate(file->fd, before.st_size) == 0;
    (void)cut_off;
    SetLastError(file_error(error));
    return FALSE;
  }
  if (written != nullptr) *written = done;
  return TRUE;
}

DWORD WINAPI GetFileType(HANDLE handle) {
  const KernelObject* object = handle_lookup_any(handle);
  if (object == nullptr) return FILE_TYPE_UNKNOWN;
  if (object->kind() == HandleKind::serial_device) return FILE_TYPE_CHAR;
  if (object->kind() != HandleKind::disk_file) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  struct stat seen {};
  if (fstat(static_cast<const DiskFile*>(object)->fd, &seen) != 0) {
    SetLastError(file_error(errno));
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);  // FILE_TYPE_UNKNOWN is also a type: the error tells them apart
  if (S_ISREG(seen.st_mode) || S_ISLNK(seen.st_mode) || S_ISDIR(seen.st_mode)) return FILE_TYPE_DISK;
  if (S_ISCHR(seen.st_mode) || S_ISBLK(seen.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISFIFO(seen.st_mode) || S_ISSOCK(seen.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

BOOL WINAPI GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
  DiskFile* file = disk_file(handle);
  if (file == nullptr) return FALSE;
  if (information == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct stat seen {};
  if (fstat(file->fd, &seen) != 0) {
    SetLastError(file_error(errno));
    return FALSE;
  }
  DWORD attributes = S_ISLNK(seen.st_mode)   ? FILE_ATTRIBUTE_REPARSE_POINT
                     : S_ISDIR(seen.st_mode) ? FILE_ATTRIBUTE_DIRECTORY
                                             : FILE_ATTRIBUTE_ARCHIVE;
  if (!(seen.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  *information = BY_HANDLE_FILE_INFORMATION{};
  information->dwFileAttributes = attributes;
  information->ftCreationTime = file_time(seen.st_ctim);  // Linux keeps no creation time here
  information->ftLastAccessTime = file_time(seen.st_atim);
  information->ftLastWriteTime = file_time(seen.st_mtim);
  information->dwVolumeSerialNumber = static_cast<DWORD>(seen.st_dev);
  information->nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(seen.st_size) >> 32);
  information->nFileSizeLow = static_cast<DWORD>(seen.st_size);
  information->nNumberOfLinks = static_cast<DWORD>(seen.st_nlink);
  information->nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(seen.st_ino) >> 32);
  information->nFileIndexLow = static_cast<DWORD>(seen.st_ino);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}
