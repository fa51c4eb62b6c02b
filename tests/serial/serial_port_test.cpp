// The serial port layer against real pseudo-terminals: the test holds the
// device's end of the line and watches what the layer does to the port.
#include "serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "comm_pty.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr char program_settings[] = ": baud=19200 parity=N Data=8 stop=1";

class SerialLayer : public ::testing::Test {
 protected:
  void TearDown() override {
    if (port_ != nullptr) serial_close(port_);
  }

  SerialPort open(const std::string& settings, std::int32_t handshake = HANDSHAKE_NONE, std::int32_t input = 255,
                  std::int32_t output = 255) {
    port_ = serial_open(settings.c_str(), handshake, input, output);
    return port_;
  }

  DCB state() const {
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port_, &dcb));
    return dcb;
  }

  // Bytes from the device reach the port's queue a moment after they are sent.
  DWORD wait_for_input(DWORD count) const {
    DWORD queued = 0;
    for (auto deadline = Clock::now() + 5s; Clock::now() < deadline; std::this_thread::sleep_for(1ms)) {
      if ((queued = serial_input_count(port_)) >= count) break;
    }
    return queued;
  }

  // A port that is not left open can be opened again at once.
  bool can_be_opened(const std::string& device_path) const {
    HANDLE probe =
        CreateFileA(device_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
  }

  PtyPair pty_;
  SerialPort port_ = nullptr;
};

TEST_F(SerialLayer, ProgramSettingsOpenAndConfigure19200_8N1WithTheFixedTimeouts) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  const termios line = pty_.settings();
  EXPECT_EQ(cfgetospeed(&line), static_cast<speed_t>(B19200));
  EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(line.c_cflag & (PARENB | CSTOPB | CRTSCTS));

  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(GetCommTimeouts(port_, &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 100u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 10u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 10u);
  EXPECT_FALSE(can_be_opened(pty_.device_path())) << "opened for exclusive use";
}

TEST_F(SerialLayer, Com17OpensTheDevicePathOfItsName) {
  ComLinkFolder links;
  links.link("com17", pty_.dev_path());
  ASSERT_NE(open(std::string("COM17") + program_settings), nullptr);
  ASSERT_EQ(serial_write(port_, "ati\r", 4), 1);
  EXPECT_EQ(pty_.receive(4), "ati\r");
}

TEST_F(SerialLayer, SevenCharacterNameFitsAndEightDoNot) {
  ComLinkFolder links;
  links.link("com1234", pty_.dev_path());
  links.link("com12345", pty_.dev_path());

  EXPECT_EQ(open(std::string("COM12345") + program_settings), nullptr);
  EXPECT_TRUE(can_be_opened(pty_.device_path())) << "nothing was opened for the long name";

  ASSERT_NE(open(std::string("COM1234") + program_settings), nullptr);
  EXPECT_EQ(state().BaudRate, 19200u);
}

TEST_F(SerialLayer, TextWithoutColonIsAllPortName) {
  // The whole text names the port, and the same text fails as settings: it is
  // refused before the port is even looked for, and the line stays as it was.
  pty_.change_settings([](termios& t) { t.c_lflag |= ICANON | ECHO; });
  const termios before = pty_.settings();
  for (const std::string& text : {pty_.name(), std::string("pts/999"), pty_.name() + ": speed=fast"}) {
    SetLastError(0);
    EXPECT_EQ(open(text), nullptr) << text;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << text;
  }
  const termios after = pty_.settings();
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_TRUE(can_be_opened(pty_.device_path()));
}

TEST_F(SerialLayer, PortThatCannotBeConfiguredIsClosedAndReportedAsNotOpened) {
  for (const std::string& settings : {pty_.name() + ": baud=19200 data=9", pty_.name() + ": speed=fast",
                                      pty_.name() + ": baud=19200 parity=E"}) {  // a pty has no parity
    EXPECT_EQ(open(settings), nullptr) << settings;
    EXPECT_TRUE(can_be_opened(pty_.device_path())) << settings << ": the port was closed again";
  }
  EXPECT_EQ(open("null: baud=19200"), nullptr) << "a device that is no serial line";
}

TEST_F(SerialLayer, HandshakeModesSetTheirFlowControlFields) {
  // ",p" turns on RTS/CTS handshaking from the settings text.
  const std::string hardware = pty_.name() + ":19200,n,8,1,p";

  ASSERT_NE(open(hardware, HANDSHAKE_NONE), nullptr);
  EXPECT_EQ(state().fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
  EXPECT_EQ(state().fOutxCtsFlow, 0u);
  EXPECT_FALSE(pty_.settings().c_cflag & CRTSCTS);
  serial_close(port_);

  ASSERT_NE(open(hardware, HANDSHAKE_RTS), nullptr);
  EXPECT_EQ(state().fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_EQ(state().fOutxCtsFlow, 0u);
  serial_close(port_);

  ASSERT_NE(open(pty_.name() + program_settings, HANDSHAKE_RTS_CTS), nullptr);
  EXPECT_EQ(state().fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
  EXPECT_EQ(state().fOutxCtsFlow, 1u);
  EXPECT_TRUE(pty_.settings().c_cflag & CRTSCTS);
  serial_close(port_);

  ASSERT_NE(open(hardware, HANDSHAKE_XON_XOFF, 255, 255), nullptr);
  DCB dcb = state();
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE)) << "mode 3 leaves RTS handshaking on";
  EXPECT_EQ(dcb.fOutX, 1u);
  EXPECT_EQ(dcb.fInX, 1u);
  EXPECT_EQ(dcb.XonChar, 0x11);
  EXPECT_EQ(dcb.XoffChar, 0x13);
  EXPECT_EQ(dcb.XonLim, 25);
  EXPECT_EQ(dcb.XoffLim, 175) << "seven times the truncated tenth, not 178";
  EXPECT_TRUE(pty_.settings().c_iflag & IXON);
  serial_close(port_);

  ASSERT_NE(open(pty_.name() + program_settings, HANDSHAKE_XON_XOFF, 0, 255), nullptr);
  EXPECT_EQ(state().XonLim, 0);
  EXPECT_EQ(state().XoffLim, 0);
  serial_close(port_);

  for (std::int32_t mode : {4, -1}) {
    ASSERT_NE(open(hardware, mode), nullptr) << mode;
    dcb = state();
    EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE)) << mode;
    EXPECT_EQ(dcb.fOutxCtsFlow, 1u) << mode;
    EXPECT_EQ(dcb.fOutX, 0u) << mode;
    serial_close(port_);
  }
  port_ = nullptr;
}

TEST_F(SerialLayer, Mode3SetsTheFlowCharactersWhateverTheLineHad) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  ASSERT_TRUE(serial_set_flow_chars(port_, 0x01, 0x02));
  serial_close(port_);
  ASSERT_NE(open(pty_.name() + program_settings, HANDSHAKE_XON_XOFF), nullptr);
  EXPECT_EQ(state().XonChar, 0x11);
  EXPECT_EQ(state().XoffChar, 0x13);
}

TEST_F(SerialLayer, ModesLeaveDsrFlowAndDtrAsTheSettingsTextLeftThem) {
  // ",p" also turns on DSR flow and DTR handshaking.
  for (std::int32_t mode : {HANDSHAKE_NONE, HANDSHAKE_RTS, HANDSHAKE_RTS_CTS, HANDSHAKE_XON_XOFF}) {
    ASSERT_NE(open(pty_.name() + ":19200,n,8,1,p", mode), nullptr) << mode;
    EXPECT_EQ(state().fOutxDsrFlow, 1u) << mode;
    EXPECT_EQ(state().fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE)) << mode;
    serial_close(port_);
  }
  port_ = nullptr;
}

TEST_F(SerialLayer, QueueSizesAreRequestedOnlyWhenBothArePositive) {
  const struct {
    std::int32_t input, output;
    DWORD rx_queue, tx_queue;
  } cases[] = {{255, 100, 255, 100}, {100, 255, 100, 255}, {1, 1, 1, 1},   {255, 0, 0, 0},
               {0, 255, 0, 0},       {-1, 255, 0, 0},      {255, -5, 0, 0}};
  for (const auto& c : cases) {
    ASSERT_NE(open(pty_.name() + program_settings, HANDSHAKE_NONE, c.input, c.output), nullptr);
    COMMPROP properties{};
    ASSERT_TRUE(GetCommProperties(port_, &properties));
    EXPECT_EQ(properties.dwCurrentRxQueue, c.rx_queue) << c.input << " " << c.output;
    EXPECT_EQ(properties.dwCurrentTxQueue, c.tx_queue) << c.input << " " << c.output;
    serial_close(port_);
  }
  port_ = nullptr;
}

TEST_F(SerialLayer, TimeoutsGoIntoTheFieldsOfTheirNames) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  ASSERT_TRUE(serial_set_timeouts(port_, 1, 2, 3, 4, 5));
  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(GetCommTimeouts(port_, &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 1u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 2u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 3u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 4u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 5u);
}

// Conditions a pseudo-terminal cannot produce, mapped on their own.
TEST(SerialErrorWord, EachConditionSetsItsOwnBits) {
  EXPECT_EQ(serial_error_word(0, COMSTAT{}), 0u);
  const struct {
    DWORD errors;
    DWORD word;
  } errors[] = {
      {CE_RXOVER, 0x1 | 0x20 | 0x40},
      {CE_OVERRUN, 0x2},
      {CE_RXPARITY, 0x4},
      {CE_FRAME, 0x8},
      {CE_BREAK, 0x10},
      {CE_TXFULL | CE_MODE | CE_IOE, 0},
      {CE_OVERRUN | CE_BREAK, 0x12},
  };
  for (const auto& e : errors) EXPECT_EQ(serial_error_word(e.errors, COMSTAT{}), e.word) << e.errors;

  COMSTAT status{};
  status.fCtsHold = 1;
  EXPECT_EQ(serial_error_word(0, status), 0x80u);
  status = COMSTAT{};
  status.fDsrHold = 1;
  EXPECT_EQ(serial_error_word(0, status), 0x100u);
  status = COMSTAT{};
  status.fRlsdHold = 1;
  EXPECT_EQ(serial_error_word(0, status), 0x200u);
  status = COMSTAT{};
  status.fXoffHold = 1;
  EXPECT_EQ(serial_error_word(0, status), 0x400u);
  status = COMSTAT{};
  status.fXoffSent = 1;
  EXPECT_EQ(serial_error_word(0, status), 0x800u);
  status = COMSTAT{};
  status.fEof = 1;
  EXPECT_EQ(serial_error_word(0, status), 0x1000u);
  status = COMSTAT{};
  status.fTxim = 1;
  status.cbInQue = 7;
  EXPECT_EQ(serial_error_word(CE_FRAME, status), 0x8u);
}

TEST_F(SerialLayer, WritesAllOrReportsFailure) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  EXPECT_EQ(serial_write(port_, "", 0), 1);
  EXPECT_EQ(serial_write(port_, "0805\r", 5), 1);
  EXPECT_EQ(pty_.receive(5), "0805\r");

  // Nobody reads the device's end: the block cannot all go out in 200 ms.
  ASSERT_TRUE(serial_set_timeouts(port_, 0, 0, 0, 200, 0));
  const std::string block(4 << 20, 'x');
  EXPECT_EQ(serial_write(port_, block.data(), static_cast<DWORD>(block.size())), 0);
}

TEST_F(SerialLayer, ReadOnAnEmptyQueueSucceedsAfterItsTimeoutAndLeavesTheBuffer) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  char buffer = '#';
  const auto start = Clock::now();
  EXPECT_NE(serial_read(port_, &buffer, 1), 0);
  const auto waited = Clock::now() - start;
  EXPECT_EQ(buffer, '#');
  EXPECT_GE(waited, 100ms) << "10 x 1 + 100 ms";
  EXPECT_LT(waited, 5s);
}

TEST_F(SerialLayer, InputCountTellsUnreadBytesAndLeavesThemToRead) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  pty_.send("\r>x");
  ASSERT_EQ(wait_for_input(3), 3u);
  EXPECT_EQ(serial_input_count(port_), 3u);
  std::string got;
  for (int i = 0; i < 3; ++i) {
    char byte = 0;
    ASSERT_NE(serial_read(port_, &byte, 1), 0);
    got += byte;
  }
  EXPECT_EQ(got, "\r>x");
  EXPECT_EQ(serial_input_count(port_), 0u);
  EXPECT_EQ(serial_output_count(port_), 0u);
  EXPECT_EQ(serial_error_flags(port_), 0u);
}

TEST_F(SerialLayer, FlowCharsChangeOnlyTheTwoCharacters) {
  ASSERT_NE(open(pty_.name() + program_settings, HANDSHAKE_XON_XOFF), nullptr);
  DCB before = state();
  ASSERT_TRUE(serial_set_flow_chars(port_, 0x141, 0x7f13));  // only the low bytes count
  DCB after = state();
  EXPECT_EQ(after.XonChar, 0x41);
  EXPECT_EQ(after.XoffChar, 0x13);
  after.XonChar = before.XonChar;
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  EXPECT_EQ(pty_.settings().c_cc[VSTART], 0x41);
}

TEST_F(SerialLayer, LinesOfATerminalWithoutModemControlReportFailure) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  EXPECT_EQ(serial_set_dtr(port_, 1), 0);
  EXPECT_EQ(serial_set_rts(port_, 0), 0);
  for (auto get : {serial_get_cts, serial_get_dsr, serial_get_carrier, serial_get_ring}) EXPECT_EQ(get(port_), 0);
  EXPECT_NE(serial_set_break(port_, 1), 0);
  EXPECT_NE(serial_set_break(port_, 0), 0);
}

TEST_F(SerialLayer, InvalidHandleIsRefusedByEveryOperationButClose) {
  const SerialPort invalid = INVALID_HANDLE_VALUE;
  char buffer = '#';
  SetLastError(12345);
  EXPECT_EQ(serial_set_timeouts(invalid, 1, 2, 3, 4, 5), 0);
  EXPECT_EQ(serial_write(invalid, "x", 1), 0);
  EXPECT_EQ(serial_read(invalid, &buffer, 1), 0);
  EXPECT_EQ(serial_input_count(invalid), 0u);
  EXPECT_EQ(serial_output_count(invalid), 0u);
  EXPECT_EQ(serial_set_dtr(invalid, 1), 0);
  EXPECT_EQ(serial_set_rts(invalid, 1), 0);
  EXPECT_EQ(serial_set_break(invalid, 1), 0);
  EXPECT_EQ(serial_get_cts(invalid), 0);
  EXPECT_EQ(serial_get_dsr(invalid), 0);
  EXPECT_EQ(serial_get_carrier(invalid), 0);
  EXPECT_EQ(serial_get_ring(invalid), 0);
  EXPECT_EQ(serial_set_flow_chars(invalid, 0x11, 0x13), 0);
  EXPECT_EQ(serial_error_flags(invalid), 0u);
  EXPECT_EQ(GetLastError(), 12345u) << "refused without calling the platform";
  EXPECT_EQ(buffer, '#');
  EXPECT_EQ(serial_close(invalid), 0) << "passed to CloseHandle, which has no such handle";
}

TEST_F(SerialLayer, FailedOpensZeroIsPassedOnAndFails) {
  const SerialPort none = nullptr;
  char buffer = '#';
  SetLastError(0);
  EXPECT_EQ(serial_write(none, "x", 1), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE)) << "the platform was asked";
  EXPECT_EQ(serial_read(none, &buffer, 1), 0);
  EXPECT_EQ(serial_input_count(none), 0u);
  EXPECT_EQ(serial_error_flags(none), 0u);
  EXPECT_EQ(serial_set_dtr(none, 1), 0);
  EXPECT_EQ(serial_get_cts(none), 0);
  EXPECT_EQ(serial_set_flow_chars(none, 1, 2), 0);
  EXPECT_EQ(serial_close(none), 0);
}

TEST_F(SerialLayer, HungUpLineCountsNothingAndFailsReads) {
  ASSERT_NE(open(pty_.name() + program_settings), nullptr);
  pty_.hang_up();
  char buffer = '#';
  EXPECT_EQ(serial_input_count(port_), 0u);
  EXPECT_EQ(serial_read(port_, &buffer, 1), 0);
  EXPECT_NE(serial_close(port_), 0);
  port_ = nullptr;
}

}  // namespace
