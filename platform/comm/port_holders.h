// Who else has a device open. A program that opens a serial line without any
// lock (many scripts do) still holds it: opening it again would change its
// settings under it and take its unread input. The kernel tells who holds a
// device through /proc: each process's open files, and the flock and POSIX
// locks on the device node.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

struct PortHolder {
  pid_t pid = 0;
};

// The first process found that has the terminal device open or a lock on
// its node (node_device, node_inode: where the node lives), leaving out the
// descriptor `own_fd` of this process and, with it, this process's locks. The other side of a pseudo-terminal,
// the process holding its master (a simulator, a terminal emulator), keeps
// the terminal end open to keep the line up and is no holder. Processes whose
// files this one may not read are not seen.
// With open_files false only the locks are looked at.
std::optional<PortHolder> find_port_holder(dev_t device, dev_t node_device, ino_t node_inode, int own_fd = -1,
                                           bool open_files = true);

// The pid of a line of /proc/locks that locks the node, else nothing:
// "1: FLOCK  ADVISORY  WRITE 4242 00:05:87 0 EOF" locks node 87 on 0:5.
std::optional<pid_t> lock_line_pid(std::string_view line, dev_t node_device, ino_t node_inode);

// The pseudo-terminal number a master's /proc/PID/fdinfo text gives
// ("tty-index:\t4"), else nothing.
std::optional<unsigned> fdinfo_tty_index(std::string_view fdinfo);
