// The simulator's side of the line: a pseudo-terminal whose other end is the
// port the program opens, optionally linked as a COM name.
#pragma once

#include <string>

#include "link_lock.h"

class PtyPort {
 public:
  // Opens the pseudo-terminal; throws std::runtime_error when it cannot.
  PtyPort();
  ~PtyPort();
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  int master() const { return master_; }
  // The terminal's own end, which holds the settings the program gave it.
  int line() const { return slave_; }
  // "pts/4": the name to type into the program.
  std::string port_name() const;
  const std::string& device_path() const { return path_; }

  // Links "COMn" to the terminal in the COM link folder, replacing an older
  // link of that name unless a live simulator serves it; throws
  // std::runtime_error when it cannot.
  void link_as(const std::string& com_name);
  const std::string& link_path() const { return link_; }

  // Bits on the line per byte at the terminal's current settings (start,
  // data, parity, stop), and its baud rate.
  int bits_per_byte() const;
  unsigned baud_rate() const;

  // After the program closed the port: drops what it left unread, and lifts
  // the exclusive use its open set (TIOCEXCL), which would otherwise outlive a
  // program that was killed, as long as the simulator holds the line.
  void forget_program();

  // Closes both ends: the program's next read fails as on a hang-up.
  void hang_up();

 private:
  void remove_link();

  int master_ = -1;
  int slave_ = -1;  // held so the line stays up while the program reopens it
  std::string path_;
  std::string link_;
  LinkLock lock_;  // held while link_ is ours
};
