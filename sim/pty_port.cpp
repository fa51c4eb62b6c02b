#include "pty_port.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "comm/com_links.h"

namespace {

std::runtime_error system_failure(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

speed_t speed_of(const termios& settings) { return cfgetospeed(&settings); }

unsigned baud_of(speed_t speed) {
  switch (speed) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B921600: return 921600;
    default: return 0;
  }
}

}  // namespace

PtyPort::PtyPort() {
  char name[64] = {};
  if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) throw system_failure("cannot open a pseudo-terminal");
  path_ = name;
  // Raw until the program configures it, so that nothing is echoed back.
  termios settings{};
  tcgetattr(slave_, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B19200);
  tcsetattr(slave_, TCSANOW, &settings);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPort::~PtyPort() { hang_up(); }

std::string PtyPort::port_name() const { return path_.starts_with("/dev/") ? path_.substr(5) : path_; }

void PtyPort::link_as(const std::string& com_name) {
  const std::optional<unsigned> number = com_port_number(com_name);
  if (!number) throw std::runtime_error("not a COM port name: " + com_name);
  const std::string folder = com_link_folder();
  if (folder.empty()) throw std::runtime_error("no folder for COM links: set HOME or VELMORANT_DOSDEVICES");
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) throw std::runtime_error("cannot create " + folder + ": " + error.message());

  const std::string link = folder + "/" + com_link_name(*number);
  lock_.take(link, "COM" + std::to_string(*number), "process " + std::to_string(getpid()) + ", port " + port_name());
  struct stat info {};
  if (lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
    throw std::runtime_error(link + " exists and is not a link; not replacing it");
  }
  // A new link under a temporary name, renamed over the old one, so that the
  // name never points nowhere.
  const std::string temporary = link + ".velmorant-sim." + std::to_string(getpid());
  unlink(temporary.c_str());
  if (symlink(path_.c_str(), temporary.c_str()) != 0) throw system_failure("cannot link " + temporary);
  if (rename(temporary.c_str(), link.c_str()) != 0) {
    unlink(temporary.c_str());
    throw system_failure("cannot link " + link);
  }
  link_ = link;
}

int PtyPort::bits_per_byte() const {
  termios settings{};
  if (tcgetattr(slave_ >= 0 ? slave_ : master_, &settings) != 0) return 10;
  int data = 8;
  switch (settings.c_cflag & CSIZE) {
    case CS5: data = 5; break;
    case CS6: data = 6; break;
    case CS7: data = 7; break;
    default: break;
  }
  return 1 + data + ((settings.c_cflag & PARENB) ? 1 : 0) + ((settings.c_cflag & CSTOPB) ? 2 : 1);
}

unsigned PtyPort::baud_rate() const {
  termios settings{};
  if (tcgetattr(slave_ >= 0 ? slave_ : master_, &settings) != 0) return 0;
  return baud_of(speed_of(settings));
}

void PtyPort::remove_link() {
  if (link_.empty()) return;
  // Only our own link goes: another simulator may have taken the name since.
  char target[4096] = {};
  const ssize_t length = readlink(link_.c_str(), target, sizeof target - 1);
  if (length > 0 && path_ == std::string(target, static_cast<std::size_t>(length))) unlink(link_.c_str());
  link_.clear();
  lock_.release();
}

void PtyPort::forget_program() {
  if (slave_ < 0) return;
  tcflush(slave_, TCIFLUSH);
  ioctl(slave_, TIOCNXCL);
}

void PtyPort::hang_up() {
  remove_link();
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}
