// The Restart Manager's question "which processes hold these files?", for
// devices ("\\.\ttyUSB0"), answered from /proc.
//
// Win32                                  Linux
// RmStartSession / RmEndSession          a list of the names registered
// RmRegisterResources(files)             the names, wide characters taken
//                                        one by one (port names are ASCII)
// RmGetList: the processes using them    the process that has the device
//   (pid, start time, application name)  open or locked (port_holders.h),
//                                        else the live process whose lock
//                                        file names it; its /proc/PID/comm
//                                        as the application name, as the
//                                        kernel keeps it (any bytes but the
//                                        final newline), start time 0
// (Windows keeps no lock files)          an entry with process id 0 whose
//                                        application name says what is wrong
//                                        with the lock file that stopped the
//                                        device's last open
// any other file                         no process
#include <restartmanager.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "com_links.h"
#include "port_checks.h"
#include "port_holders.h"
#include "port_lock.h"

namespace {

constexpr std::string_view device_prefix = "\\\\.\\";

std::mutex sessions_lock;
std::map<DWORD, std::vector<std::string>> sessions;
DWORD last_session = 0;

// Who holds a device: a process, or, with pid 0, the lock file that stopped
// its last open, with what is wrong with it.
struct Holder {
  pid_t pid = 0;
  std::string problem;
};

std::optional<Holder> device_holder(std::string_view name) {
  if (!name.starts_with(device_prefix)) return std::nullopt;
  const PortTarget target = resolve_port(port_device_path(name.substr(device_prefix.size())));
  if (target.device == 0) return std::nullopt;
  if (auto holder = find_port_holder(target.device, target.node_device, target.node_inode))
    return Holder{holder->pid, ""};
  if (auto pid = lock_file_holder(target.path)) return Holder{*pid, ""};
  if (std::string problem = lock_file_problem(target.path); !problem.empty()) return Holder{0, problem};
  return std::nullopt;
}

void set_text(WCHAR* into, std::size_t room, std::string_view text) {
  const std::size_t length = std::min(text.size(), room);
  for (std::size_t i = 0; i < length; ++i) into[i] = static_cast<unsigned char>(text[i]);
  into[length] = 0;
}

RM_PROCESS_INFO process_info(const Holder& holder) {
  RM_PROCESS_INFO info{};
  info.Process.dwProcessId = static_cast<DWORD>(holder.pid);
  info.ApplicationType = RmUnknownApp;
  if (holder.pid == 0) {
    set_text(info.strAppName, CCH_RM_MAX_APP_NAME, holder.problem);
    return info;
  }
  std::string name = read_small_file("/proc/" + std::to_string(holder.pid) + "/comm");
  if (name.ends_with('\n')) name.pop_back();
  set_text(info.strAppName, CCH_RM_MAX_APP_NAME, name);
  return info;
}

}  // namespace

DWORD WINAPI RmStartSession(DWORD* session, DWORD /*flags*/, WCHAR session_key[]) {
  if (session == nullptr || session_key == nullptr) return ERROR_INVALID_PARAMETER;
  std::lock_guard held(sessions_lock);
  *session = ++last_session;
  sessions[*session];
  char key[CCH_RM_SESSION_KEY + 1];
  std::snprintf(key, sizeof key, "%08x%08x%016x", static_cast<unsigned>(getpid()), static_cast<unsigned>(*session), 0u);
  std::copy(key, key + CCH_RM_SESSION_KEY + 1, session_key);
  return ERROR_SUCCESS;
}

DWORD WINAPI RmRegisterResources(DWORD session, UINT file_count, LPCWSTR file_names[], UINT application_count,
                                 RM_UNIQUE_PROCESS applications[], UINT service_count, LPCWSTR service_names[]) {
  std::lock_guard held(sessions_lock);
  const auto found = sessions.find(session);
  if (found == sessions.end()) return ERROR_INVALID_HANDLE;
  if ((file_count > 0 && file_names == nullptr) || (application_count > 0 && applications == nullptr) ||
      (service_count > 0 && service_names == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  for (UINT i = 0; i < file_count; ++i) {
    std::string name;
    for (LPCWSTR c = file_names[i]; c != nullptr && *c != 0; ++c) name += *c < 0x80 ? static_cast<char>(*c) : '?';
    found->second.push_back(name);
  }
  return ERROR_SUCCESS;
}

DWORD WINAPI RmGetList(DWORD session, UINT* needed, UINT* count, RM_PROCESS_INFO affected[], LPDWORD reboot_reasons) {
  if (needed == nullptr || count == nullptr || reboot_reasons == nullptr) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> names;
  {
    std::lock_guard held(sessions_lock);
    const auto found = sessions.find(session);
    if (found == sessions.end()) return ERROR_INVALID_HANDLE;
    names = found->second;
  }
  std::vector<Holder> holders;
  for (const std::string& name : names) {
    const std::optional<Holder> holder = device_holder(name);
    const auto same = [&](const Holder& other) { return other.pid == holder->pid && other.problem == holder->problem; };
    if (holder && std::find_if(holders.begin(), holders.end(), same) == holders.end()) holders.push_back(*holder);
  }
  *reboot_reasons = 0;  // RmRebootReasonNone
  *needed = static_cast<UINT>(holders.size());
  if (*count < holders.size()) return ERROR_MORE_DATA;
  if (!holders.empty() && affected == nullptr) return ERROR_INVALID_PARAMETER;
  for (std::size_t i = 0; i < holders.size(); ++i) affected[i] = process_info(holders[i]);
  *count = static_cast<UINT>(holders.size());
  return ERROR_SUCCESS;
}

DWORD WINAPI RmEndSession(DWORD session) {
  std::lock_guard held(sessions_lock);
  return sessions.erase(session) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
