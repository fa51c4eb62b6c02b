// DCB <-> termios, through the termios2 interface so that any baud rate can be
// set (BOTHER), not only the ones with a Bnnn constant. <asm/termbits.h>
// cannot live beside <termios.h>, which is why this file is on its own.
#include "line_settings.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace {

int get(int fd, termios2& settings) { return ioctl(fd, TCGETS2, &settings) == 0 ? 0 : errno; }

int set(int fd, const termios2& settings) { return ioctl(fd, TCSETS2, &settings) == 0 ? 0 : errno; }

// Also clears XON/XOFF, which a terminal has on by default but a serial port
// only when its settings ask for it.
void make_raw(termios2& settings) {
  settings.c_iflag &=
      ~(IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IXANY | IMAXBEL | IXON | IXOFF);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ICANON | ISIG | IEXTEN);
  settings.c_cflag |= CREAD | CLOCAL;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
}

// The Bnnn constant of a standard rate, which other programs (stty, Wine)
// read back as a number; BOTHER with the rate itself for any other.
tcflag_t speed_flag(DWORD baud) {
  static constexpr struct {
    DWORD baud;
    tcflag_t flag;
  } standard[] = {
      {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
      {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
      {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
      {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
      {576000, B576000}, {921600, B921600}, {1000000, B1000000},
  };
  for (const auto& rate : standard) {
    if (rate.baud == baud) return rate.flag;
  }
  return BOTHER;
}

tcflag_t size_flag(BYTE byte_size) {
  switch (byte_size) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
  }
}

// The character frame and handshake bits a driver may refuse to take.
tcflag_t frame_of(const termios2& settings) {
  tcflag_t frame = settings.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS);
  if (frame & PARENB) frame |= settings.c_cflag & (PARODD | CMSPAR);
  return frame;
}

}  // namespace

int line_make_raw(int fd) {
  termios2 settings{};
  if (int error = get(fd, settings)) return error;
  make_raw(settings);
  return set(fd, settings);
}

int line_read_settings(int fd, DCB& dcb) {
  termios2 settings{};
  if (int error = get(fd, settings)) return error;
  dcb.BaudRate = settings.c_ospeed;
  switch (settings.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8; break;
  }
  if (!(settings.c_cflag & PARENB))
    dcb.Parity = NOPARITY;
  else if (settings.c_cflag & CMSPAR)
    dcb.Parity = (settings.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  else
    dcb.Parity = (settings.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  // The driver sends 1.5 stop bits for CSTOPB with 5 data bits, so a DCB that
  // asked for ONE5STOPBITS there reads back unchanged.
  if (!(settings.c_cflag & CSTOPB))
    dcb.StopBits = ONESTOPBIT;
  else if (dcb.StopBits != ONE5STOPBITS || dcb.ByteSize != 5)
    dcb.StopBits = TWOSTOPBITS;
  dcb.fParity = (settings.c_iflag & INPCK) ? 1 : 0;
  // CRTSCTS is both halves of hardware handshaking; a DCB that asked for only
  // one of them keeps what it asked.
  if (settings.c_cflag & CRTSCTS) {
    if (!dcb.fOutxCtsFlow && dcb.fRtsControl != RTS_CONTROL_HANDSHAKE) {
      dcb.fOutxCtsFlow = 1;
      dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    }
  } else {
    dcb.fOutxCtsFlow = 0;
    if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
  }
  dcb.fOutX = (settings.c_iflag & IXON) ? 1 : 0;
  dcb.fInX = (settings.c_iflag & IXOFF) ? 1 : 0;
  dcb.XonChar = static_cast<char>(settings.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(settings.c_cc[VSTOP]);
  return 0;
}

int line_write_settings(int fd, const DCB& dcb) {
  termios2 previous{};
  if (int error = get(fd, previous)) return error;
  termios2 settings = previous;
  make_raw(settings);

  settings.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT) | CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
  settings.c_cflag |= speed_flag(dcb.BaudRate) | (speed_flag(dcb.BaudRate) << IBSHIFT);
  settings.c_ispeed = dcb.BaudRate;
  settings.c_ospeed = dcb.BaudRate;
  settings.c_cflag |= size_flag(dcb.ByteSize);
  if (dcb.StopBits != ONESTOPBIT) settings.c_cflag |= CSTOPB;
  switch (dcb.Parity) {
    case ODDPARITY: settings.c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: settings.c_cflag |= PARENB; break;
    case MARKPARITY: settings.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: settings.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) settings.c_cflag |= CRTSCTS;

  settings.c_iflag &= ~(INPCK | IXON | IXOFF);
  if (dcb.fParity) settings.c_iflag |= INPCK;
  if (dcb.fOutX) settings.c_iflag |= IXON;
  if (dcb.fInX) settings.c_iflag |= IXOFF;
  settings.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  settings.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  if (int error = set(fd, settings)) return error;

  // The driver takes what it can and drops the rest without a word (a
  // pseudo-terminal always runs 8 bits without parity), so the line is read
  // back: a format it did not take is refused, and the old settings restored.
  termios2 taken{};
  if (int error = get(fd, taken)) return error;
  if (frame_of(taken) != frame_of(settings)) {
    set(fd, previous);
    return EINVAL;
  }
  return 0;
}

int line_suspend_output(int fd, bool suspend) { return ioctl(fd, TCXONC, suspend ? TCOOFF : TCOON) == 0 ? 0 : errno; }

int line_purge(int fd) { return ioctl(fd, TCFLSH, TCIOFLUSH) == 0 ? 0 : errno; }
