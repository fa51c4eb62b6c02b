// Settings, timeouts, transfers, queues and lines of a real pseudo-terminal
// opened through CreateFileA.
#include <gtest/gtest.h>
#include <platform_ext.h>
#include <windows.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "comm/serial_device.h"
#include "comm_pty.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class CommPort : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ =
        CreateFileA(pty_.device_path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(port_, INVALID_HANDLE_VALUE);
  }
  void TearDown() override {
    if (port_ != INVALID_HANDLE_VALUE) CloseHandle(port_);
  }

  void set_timeouts(DWORD interval, DWORD multiplier, DWORD constant, DWORD write_multiplier = 0,
                    DWORD write_constant = 0) {
    COMMTIMEOUTS timeouts{interval, multiplier, constant, write_multiplier, write_constant};
    ASSERT_TRUE(SetCommTimeouts(port_, &timeouts));
  }

  DCB state() {
    DCB dcb{};
    EXPECT_TRUE(GetCommState(port_, &dcb));
    return dcb;
  }

  // Waits until the port has count bytes queued, as data from the other end
  // reaches the terminal's queue a moment after it was sent.
  DWORD wait_for_input(DWORD count) {
    COMSTAT status{};
    DWORD errors = 0;
    for (auto deadline = Clock::now() + 5s; Clock::now() < deadline; std::this_thread::sleep_for(1ms)) {
      if (!ClearCommError(port_, &errors, &status)) return 0;
      if (status.cbInQue >= count) break;
    }
    return status.cbInQue;
  }

  PtyPair pty_;
  HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(CommPort, OpeningMakesTheLineRaw) {
  const termios settings = pty_.settings();
  EXPECT_FALSE(settings.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(settings.c_oflag & OPOST);
  EXPECT_FALSE(settings.c_iflag & (ICRNL | ISTRIP));
  EXPECT_TRUE(settings.c_cflag & CREAD);
}

TEST_F(CommPort, NewPortStartsWithTheDriversDefaults) {
  const DCB dcb = state();
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_EQ(dcb.fTXContinueOnXoff, 0u);
  EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
}

TEST_F(CommPort, SetCommStateConfiguresTheTerminal) {
  DCB dcb = state();
  EXPECT_EQ(dcb.fOutX, 0u) << "no XON/XOFF until the settings ask for it";
  dcb.BaudRate = CBR_19200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  termios settings = pty_.settings();
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B19200));
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(settings.c_cflag & (PARENB | CSTOPB | CRTSCTS));
  EXPECT_FALSE(settings.c_iflag & (IXON | IXOFF));

  dcb.BaudRate = CBR_9600;
  dcb.StopBits = TWOSTOPBITS;
  dcb.fOutX = dcb.fInX = 1;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fOutxCtsFlow = 1;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  settings = pty_.settings();
  EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
  EXPECT_TRUE(settings.c_cflag & CSTOPB);
  EXPECT_TRUE(settings.c_cflag & CRTSCTS);
  EXPECT_TRUE(settings.c_iflag & IXON);
  EXPECT_TRUE(settings.c_iflag & IXOFF);
  EXPECT_EQ(settings.c_cc[VSTART], 0x11);
  EXPECT_EQ(settings.c_cc[VSTOP], 0x13);
}

TEST_F(CommPort, FormatTheLineCannotCarryIsRefusedNotFaked) {
  // A pseudo-terminal always runs 8 data bits without parity.
  DCB dcb = state();
  dcb.BaudRate = CBR_19200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  for (auto spoil :
       {+[](DCB& d) { d.ByteSize = 7; }, +[](DCB& d) { d.ByteSize = 5; }, +[](DCB& d) { d.Parity = EVENPARITY; },
        +[](DCB& d) { d.Parity = MARKPARITY; }, +[](DCB& d) { d.Parity = SPACEPARITY; }}) {
    DCB other = dcb;
    spoil(other);
    SetLastError(0);
    EXPECT_FALSE(SetCommState(port_, &other));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    const DCB back = state();
    EXPECT_EQ(back.ByteSize, 8);
    EXPECT_EQ(back.Parity, NOPARITY);
    EXPECT_EQ(back.BaudRate, 19200u);
  }
}

TEST_F(CommPort, GetCommStateReadsBackWhatWasSet) {
  DCB dcb = state();
  EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
  EXPECT_EQ(dcb.fBinary, 1u);
  dcb.BaudRate = 12345;  // no Bnnn constant for this one
  dcb.StopBits = TWOSTOPBITS;
  dcb.XonLim = 25;
  dcb.XoffLim = 175;
  dcb.EofChar = 0x1a;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  const DCB back = state();
  EXPECT_EQ(back.BaudRate, 12345u);
  EXPECT_EQ(back.StopBits, TWOSTOPBITS);
  EXPECT_EQ(back.XonLim, 25);
  EXPECT_EQ(back.XoffLim, 175);
  EXPECT_EQ(back.EofChar, 0x1a);
  EXPECT_EQ(back.fDtrControl, static_cast<DWORD>(DTR_CONTROL_DISABLE));
  EXPECT_EQ(back.fRtsControl, static_cast<DWORD>(RTS_CONTROL_DISABLE));
}

// The line's own settings win over what the handle last set: another program
// may have changed them since.
TEST_F(CommPort, GetCommStateReadsTheLineAsAnotherProgramLeftIt) {
  DCB dcb = state();
  dcb.BaudRate = CBR_19200;
  dcb.fParity = 0;
  dcb.fOutxCtsFlow = 0;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.StopBits = ONESTOPBIT;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  pty_.change_settings([](termios& t) {
    cfsetspeed(&t, B9600);
    t.c_iflag |= INPCK | IXON;
    t.c_cflag |= CRTSCTS | CSTOPB;
    t.c_cc[VSTART] = 0x05;
  });
  DCB changed = state();
  EXPECT_EQ(changed.BaudRate, 9600u);
  EXPECT_EQ(changed.fParity, 1u);
  EXPECT_EQ(changed.fOutX, 1u);
  EXPECT_EQ(changed.XonChar, 0x05);
  EXPECT_EQ(changed.StopBits, TWOSTOPBITS);
  EXPECT_EQ(changed.fOutxCtsFlow, 1u) << "CRTSCTS is both halves of hardware handshaking";
  EXPECT_EQ(changed.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));

  ASSERT_TRUE(SetCommState(port_, &changed));
  pty_.change_settings([](termios& t) {
    t.c_iflag &= ~(INPCK | IXON);
    t.c_cflag &= ~(CRTSCTS | CSTOPB);
  });
  changed = state();
  EXPECT_EQ(changed.fParity, 0u);
  EXPECT_EQ(changed.fOutX, 0u);
  EXPECT_EQ(changed.StopBits, ONESTOPBIT);
  EXPECT_EQ(changed.fOutxCtsFlow, 0u);
  EXPECT_EQ(changed.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
}

TEST_F(CommPort, HalfOfHardwareHandshakingIsKeptAsAsked) {
  DCB dcb = state();
  dcb.fOutxCtsFlow = 1;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  EXPECT_TRUE(pty_.settings().c_cflag & CRTSCTS);
  EXPECT_EQ(state().fOutxCtsFlow, 1u);
  EXPECT_EQ(state().fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  dcb.fOutxCtsFlow = 0;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  EXPECT_EQ(state().fOutxCtsFlow, 0u);
  EXPECT_EQ(state().fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
}

TEST_F(CommPort, OneAndAHalfStopBitsAreTwoExceptWithFiveDataBits) {
  DCB dcb = state();
  dcb.StopBits = ONE5STOPBITS;
  dcb.ByteSize = 8;
  ASSERT_TRUE(SetCommState(port_, &dcb));
  EXPECT_TRUE(pty_.settings().c_cflag & CSTOPB);
  EXPECT_EQ(state().StopBits, TWOSTOPBITS) << "what the line sends with 8 data bits";
}

TEST_F(CommPort, StandardRatesUseTheirOwnSpeedConstants) {
  const struct {
    DWORD baud;
    speed_t speed;
  } rates[] = {
      {50, B50},         {75, B75},         {110, B110},         {134, B134},       {150, B150},
      {200, B200},       {300, B300},       {600, B600},         {1200, B1200},     {1800, B1800},
      {2400, B2400},     {4800, B4800},     {9600, B9600},       {19200, B19200},   {38400, B38400},
      {57600, B57600},   {115200, B115200}, {230400, B230400},   {460800, B460800}, {500000, B500000},
      {576000, B576000}, {921600, B921600}, {1000000, B1000000},
  };
  for (const auto& rate : rates) {
    DCB dcb = state();
    dcb.BaudRate = rate.baud;
    ASSERT_TRUE(SetCommState(port_, &dcb)) << rate.baud;
    const termios line = pty_.settings();
    EXPECT_EQ(cfgetospeed(&line), rate.speed) << rate.baud;
    EXPECT_EQ(cfgetispeed(&line), rate.speed) << rate.baud;
    EXPECT_EQ(state().BaudRate, rate.baud);
  }
}

// A size, parity or stop bits no driver knows are refused as not supported
// (comm_sim_test.cpp, on both systems); these as bad parameters.
TEST_F(CommPort, SetCommStateRefusesImpossibleSettingsAndKeepsTheOldOnes) {
  DCB good = state();
  good.BaudRate = CBR_19200;
  good.ByteSize = 8;
  ASSERT_TRUE(SetCommState(port_, &good));
  for (auto spoil : {+[](DCB& d) { d.BaudRate = 0; }, +[](DCB& d) { d.fOutX = 1, d.XonChar = d.XoffChar = 0x11; },
                     +[](DCB& d) { d.fInX = 1, d.XonChar = d.XoffChar = 0x13; }}) {
    DCB bad = good;
    spoil(bad);
    SetLastError(0);
    EXPECT_FALSE(SetCommState(port_, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(state().BaudRate, 19200u);
    EXPECT_EQ(state().ByteSize, 8);
  }
}

TEST_F(CommPort, TimeoutsAreKeptAsGiven) {
  COMMTIMEOUTS set{100, 10, 100, 100, 10};
  ASSERT_TRUE(SetCommTimeouts(port_, &set));
  COMMTIMEOUTS got{};
  ASSERT_TRUE(GetCommTimeouts(port_, &got));
  EXPECT_EQ(got.ReadIntervalTimeout, 100u);
  EXPECT_EQ(got.ReadTotalTimeoutMultiplier, 10u);
  EXPECT_EQ(got.ReadTotalTimeoutConstant, 100u);
  EXPECT_EQ(got.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(got.WriteTotalTimeoutConstant, 10u);
}

TEST_F(CommPort, WriteReachesTheOtherEnd) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "ati\r", 4, &written, nullptr));
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(pty_.receive(4), "ati\r");
  ASSERT_TRUE(WriteFile(port_, "", 0, &written, nullptr));
  EXPECT_EQ(written, 0u);
}

TEST_F(CommPort, WriteCutShortByItsTimeoutSucceedsWithTheCountSent) {
  set_timeouts(0, 0, 0, 0, 200);
  const std::string block(4 << 20, 'x');  // far more than the terminal buffers while nobody reads
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(port_, block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, block.size());
}

TEST_F(CommPort, OverlappedTransfersAndMissingBuffersAreRefused) {
  set_timeouts(MAXDWORD, 0, 0);
  char byte = 0;
  DWORD count = 0;
  OVERLAPPED overlapped{};
  for (bool reading : {true, false}) {
    SetLastError(0);
    EXPECT_FALSE(reading ? ReadFile(port_, &byte, 1, &count, &overlapped)
                         : WriteFile(port_, &byte, 1, &count, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    SetLastError(0);
    EXPECT_FALSE(reading ? ReadFile(port_, nullptr, 1, &count, nullptr)
                         : WriteFile(port_, nullptr, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST_F(CommPort, TransfersOfNoBytesSucceedAtOnce) {
  set_timeouts(0, 0, 0);
  char buffer[1] = {'#'};
  DWORD count = 99;
  EXPECT_TRUE(ReadFile(port_, buffer, 0, &count, nullptr));
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_TRUE(WriteFile(port_, buffer, 0, &count, nullptr));
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(buffer[0], '#');
}

TEST_F(CommPort, ReadReturnsWhatArrivedByTheTotalTimeout) {
  set_timeouts(0, 0, 200);
  pty_.send("abc");
  char buffer[10] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "abc");
}

TEST_F(CommPort, ReadOnAnEmptyQueueTimesOutSuccessfullyWithNothing) {
  set_timeouts(100, 10, 100);
  char buffer[4] = {'k', 'e', 'e', 'p'};
  DWORD read = 99;
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, 4, &read, nullptr));
  const auto waited = Clock::now() - start;
  EXPECT_EQ(read, 0u);
  EXPECT_EQ(std::string(buffer, 4), "keep");
  EXPECT_GE(waited, 140ms) << "the total of 10 x 4 + 100 ms";
  EXPECT_LT(waited, 5s);
}

TEST_F(CommPort, ReadEndsWhenTheGapBetweenBytesExceedsTheInterval) {
  set_timeouts(50, 0, 20000);
  pty_.send("ab");
  char buffer[100] = {};
  DWORD read = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "ab");
  EXPECT_LT(Clock::now() - start, 10s) << "the interval ended it, not the 20 s total";
}

TEST_F(CommPort, MaxdwordIntervalAloneReturnsAtOnce) {
  set_timeouts(MAXDWORD, 0, 0);
  pty_.send("xy");
  ASSERT_EQ(wait_for_input(2), 2u);
  char buffer[10] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "xy");
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(CommPort, MaxdwordIntervalAndMultiplierWaitForTheFirstByteOnly) {
  set_timeouts(MAXDWORD, MAXDWORD, 20000);
  std::thread device([this] {
    std::this_thread::sleep_for(50ms);
    pty_.send("z");
  });
  char buffer[10] = {};
  DWORD read = 0;
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  device.join();
  EXPECT_EQ(std::string(buffer, read), "z");
  EXPECT_LT(Clock::now() - start, 10s) << "returned with the first byte, not at the 20 s constant";
}

// The Windows driver's rules for ReadIntervalTimeout MAXDWORD with totals:
// bytes already waiting are returned at once; with none waiting, a
// multiplier of MAXDWORD returns with the first bytes that arrive, any other
// waits for the whole count or the total.
TEST_F(CommPort, MaxdwordIntervalWithTotalsReturnsAtOnceWithWhatIsWaiting) {
  for (DWORD multiplier : {DWORD{10}, DWORD{0}, MAXDWORD}) {
    set_timeouts(MAXDWORD, multiplier, 4000);
    pty_.send("wait");
    ASSERT_EQ(wait_for_input(4), 4u);
    char buffer[100] = {};
    DWORD read = 0;
    const auto start = Clock::now();
    ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
    EXPECT_EQ(std::string(buffer, read), "wait") << multiplier;
    EXPECT_LT(Clock::now() - start, 3s) << multiplier << ": not at the 4 s total";
  }
}

TEST_F(CommPort, MaxdwordIntervalWithTotalsWaitsForTheCountWhenNothingWasWaiting) {
  set_timeouts(MAXDWORD, 0, 300);
  std::thread device([this] {
    std::this_thread::sleep_for(50ms);
    pty_.send("a");
    std::this_thread::sleep_for(50ms);
    pty_.send("bc");
  });
  char buffer[3] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  device.join();
  EXPECT_EQ(std::string(buffer, read), "abc") << "not only the first byte";
}

TEST_F(CommPort, MaxdwordIntervalAndMultiplierWithoutConstantReturnAtOnce) {
  set_timeouts(MAXDWORD, MAXDWORD, 0);
  char buffer[4] = {};
  DWORD read = 99;
  const auto start = Clock::now();
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 0u);
  EXPECT_LT(Clock::now() - start, 5s);
}

TEST_F(CommPort, ReadWithoutTimeoutsWaitsForEveryByte) {
  set_timeouts(0, 0, 0);
  std::thread device([this] {
    pty_.send("12");
    std::this_thread::sleep_for(50ms);
    pty_.send("345");
  });
  char buffer[5] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  device.join();
  EXPECT_EQ(std::string(buffer, read), "12345");
}

TEST_F(CommPort, ClearCommErrorCountsQueuedBytesAndLeavesThemToRead) {
  set_timeouts(MAXDWORD, 0, 0);
  pty_.send("123");
  EXPECT_EQ(wait_for_input(3), 3u);
  COMSTAT status{};
  DWORD errors = 99;
  ASSERT_TRUE(ClearCommError(port_, &errors, &status));
  EXPECT_EQ(status.cbInQue, 3u);
  EXPECT_EQ(errors, 0u);
  char buffer[8] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "123");
  ASSERT_TRUE(ClearCommError(port_, nullptr, &status));
  EXPECT_EQ(status.cbInQue, 0u);
}

TEST_F(CommPort, HungUpLineFailsReadsAndCounts) {
  set_timeouts(0, 0, 1000);
  pty_.hang_up();
  char byte = 0;
  DWORD read = 0;
  EXPECT_FALSE(ReadFile(port_, &byte, 1, &read, nullptr));
  COMSTAT status{};
  EXPECT_FALSE(ClearCommError(port_, nullptr, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
}

TEST_F(CommPort, SetXoffHoldsTransmissionUntilSetXon) {
  set_timeouts(0, 0, 0, 0, 100);
  ASSERT_TRUE(EscapeCommFunction(port_, SETXOFF));
  DWORD held = 99;
  ASSERT_TRUE(WriteFile(port_, "held", 4, &held, nullptr));
  EXPECT_LT(held, 4u) << "the write waits while transmission is held, until its timeout";
  EXPECT_EQ(pty_.receive(4, 100ms), "");
  ASSERT_TRUE(EscapeCommFunction(port_, SETXON));
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, "free", 4, &written, nullptr));
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(pty_.receive(held + 4), std::string("held", held) + "free");
}

TEST_F(CommPort, TerminalWithoutModemLinesReportsThatItHasNone) {
  // A pseudo-terminal has no DTR, RTS, CTS, DSR, RI or DCD.
  SetLastError(0);
  EXPECT_FALSE(EscapeCommFunction(port_, SETDTR));
  EXPECT_NE(GetLastError(), 0u);
  EXPECT_FALSE(EscapeCommFunction(port_, CLRRTS));
  DWORD status = 0;
  EXPECT_FALSE(GetCommModemStatus(port_, &status));
  EXPECT_TRUE(EscapeCommFunction(port_, RESETDEV));
  SetLastError(0);
  EXPECT_FALSE(EscapeCommFunction(port_, 42));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(CommPort, SetupCommAcceptsTheQueueSizes) {
  EXPECT_TRUE(SetupComm(port_, 255, 255));
  SetLastError(0);
  EXPECT_FALSE(SetupComm(INVALID_HANDLE_VALUE, 255, 255));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(CommPort, PropertiesTellTheQueueSizesSetupCommWasGiven) {
  COMMPROP properties{};
  ASSERT_TRUE(GetCommProperties(port_, &properties));
  EXPECT_EQ(properties.dwCurrentRxQueue, 0u) << "unknown before SetupComm";
  EXPECT_EQ(properties.dwCurrentTxQueue, 0u);
  ASSERT_TRUE(SetupComm(port_, 300, 200));
  ASSERT_TRUE(GetCommProperties(port_, &properties));
  EXPECT_EQ(properties.dwCurrentRxQueue, 300u);
  EXPECT_EQ(properties.dwCurrentTxQueue, 200u);
  EXPECT_EQ(properties.wPacketLength, sizeof(COMMPROP));
  EXPECT_EQ(properties.dwServiceMask, static_cast<DWORD>(SP_SERIALCOMM));
  EXPECT_EQ(properties.dwProvSubType, static_cast<DWORD>(PST_RS232));
  SetLastError(0);
  EXPECT_FALSE(GetCommProperties(port_, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

// The interval counts from the latest byte: bytes closer together than it
// keep the read going however long they take in all.
TEST_F(CommPort, IntervalCountsFromTheLatestByte) {
  set_timeouts(150, 0, 0);
  std::thread device([this] {
    for (char byte : std::string("12345")) {
      pty_.send(std::string(1, byte));
      std::this_thread::sleep_for(60ms);
    }
  });
  char buffer[5] = {};
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, sizeof buffer, &read, nullptr));
  device.join();
  EXPECT_EQ(std::string(buffer, read), "12345");
}

// Transfers that take several pieces: each piece asks only for what is left,
// so nothing beyond the caller's buffer is read or written.
TEST_F(CommPort, TransfersInSeveralPiecesMoveExactlyTheirBytes) {
  set_timeouts(0, 0, 0);
  std::thread device([this] {
    pty_.send("12");
    std::this_thread::sleep_for(50ms);
    pty_.send("345678");
  });
  char buffer[5 + 8];
  std::memset(buffer, '#', sizeof buffer);
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(port_, buffer, 5, &read, nullptr));
  device.join();
  EXPECT_EQ(read, 5u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "12345########");
  set_timeouts(0, 0, 1000);
  ASSERT_TRUE(ReadFile(port_, buffer, 3, &read, nullptr));
  EXPECT_EQ(std::string(buffer, read), "678");

  // Far more than the terminal holds, so that writing waits for the reader.
  std::string block(1 << 20, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 23);
  std::string received;
  std::thread reader([&] { received = pty_.receive(block.size() + 1, 10s); });
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(port_, block.data(), static_cast<DWORD>(block.size()), &written, nullptr));
  reader.join();
  EXPECT_EQ(written, block.size());
  EXPECT_EQ(received.size(), block.size());
  EXPECT_TRUE(received == block);
}

// The mappings behind ClearCommError, with conditions a pseudo-terminal
// cannot produce: the driver's error counters, and the modem lines.
TEST(CommStatus, EachGrownCounterIsItsError) {
  const struct {
    std::uint64_t LineCounters::*counter;
    DWORD error;
  } counters[] = {
      {&LineCounters::buffer_overrun, CE_RXOVER}, {&LineCounters::overrun, CE_OVERRUN},
      {&LineCounters::parity, CE_RXPARITY},       {&LineCounters::frame, CE_FRAME},
      {&LineCounters::breaks, CE_BREAK},
  };
  const LineCounters before{3, 4, 5, 6, 7};
  EXPECT_EQ(line_errors(before, before), 0u);
  LineCounters all = before;
  for (const auto& c : counters) {
    LineCounters now = before;
    now.*c.counter += 2;
    EXPECT_EQ(line_errors(before, now), c.error);
    all.*c.counter += 1;
  }
  EXPECT_EQ(line_errors(before, all), static_cast<DWORD>(CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK));

  serial_icounter_struct icount{};
  icount.overrun = 1;
  icount.buf_overrun = 2;
  icount.parity = 3;
  icount.frame = 4;
  icount.brk = 5;
  icount.rx = 6;
  const LineCounters counted = line_counters_of(icount);
  EXPECT_EQ(counted.overrun, 1u);
  EXPECT_EQ(counted.buffer_overrun, 2u);
  EXPECT_EQ(counted.parity, 3u);
  EXPECT_EQ(counted.frame, 4u);
  EXPECT_EQ(counted.breaks, 5u);
}

TEST(CommStatus, LineFunctionsAndControlsDriveTheirOwnModemLines) {
  const struct {
    DWORD function;
    unsigned long request;
    int line;
  } changes[] = {{SETRTS, TIOCMBIS, TIOCM_RTS},
                 {CLRRTS, TIOCMBIC, TIOCM_RTS},
                 {SETDTR, TIOCMBIS, TIOCM_DTR},
                 {CLRDTR, TIOCMBIC, TIOCM_DTR}};
  for (const auto& c : changes) {
    const std::optional<ModemLineChange> change = modem_line_change(c.function);
    ASSERT_TRUE(change) << c.function;
    EXPECT_EQ(change->request, c.request) << c.function;
    EXPECT_EQ(change->line, c.line) << c.function;
  }
  for (int other : {SETXOFF, SETXON, RESETDEV, SETBREAK, CLRBREAK, 0, 42}) {
    EXPECT_FALSE(modem_line_change(other)) << other;
  }

  const struct {
    DWORD dtr, rts;
    int raised, lowered;
  } levels[] = {
      {DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, 0, TIOCM_DTR | TIOCM_RTS},
      {DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, TIOCM_DTR | TIOCM_RTS, 0},
      {DTR_CONTROL_HANDSHAKE, RTS_CONTROL_DISABLE, TIOCM_DTR, TIOCM_RTS},
      {DTR_CONTROL_DISABLE, RTS_CONTROL_ENABLE, TIOCM_RTS, TIOCM_DTR},
      {DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, TIOCM_DTR, 0},
      {DTR_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE, 0, TIOCM_DTR},
      {DTR_CONTROL_ENABLE, RTS_CONTROL_TOGGLE, TIOCM_DTR | TIOCM_RTS, 0},
  };
  for (const auto& l : levels) {
    DCB dcb{};
    dcb.fDtrControl = l.dtr;
    dcb.fRtsControl = l.rts;
    const ModemLineLevels got = modem_line_levels(dcb);
    EXPECT_EQ(got.raised, l.raised) << l.dtr << " " << l.rts;
    EXPECT_EQ(got.lowered, l.lowered) << l.dtr << " " << l.rts;
  }
}

TEST(CommStatus, TransmissionHoldsOnALowFlowControlLineThatIsWatched) {
  const struct {
    bool cts_flow, dsr_flow;
    int lines;
    DWORD cts_hold, dsr_hold;
  } cases[] = {
      {true, false, 0, 1, 0},         {true, false, TIOCM_CTS, 0, 0},
      {true, false, TIOCM_DSR, 1, 0}, {false, true, 0, 0, 1},
      {false, true, TIOCM_DSR, 0, 0}, {false, true, TIOCM_CTS, 0, 1},
      {true, true, 0, 1, 1},          {true, true, TIOCM_CTS | TIOCM_DSR, 0, 0},
      {false, false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    DCB settings{};
    settings.fOutxCtsFlow = c.cts_flow;
    settings.fOutxDsrFlow = c.dsr_flow;
    COMSTAT status{};
    status.fRlsdHold = 1;
    line_holds(settings, c.lines, status);
    EXPECT_EQ(status.fCtsHold, c.cts_hold) << c.cts_flow << c.dsr_flow << c.lines;
    EXPECT_EQ(status.fDsrHold, c.dsr_hold) << c.cts_flow << c.dsr_flow << c.lines;
    EXPECT_EQ(status.fRlsdHold, 1u) << "the other flags are left alone";
  }
}

}  // namespace
