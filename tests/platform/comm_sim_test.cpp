// The comm functions on COM17, a pseudo-terminal that velmorant-sim serves
// (with_sim.sh starts it): ours on Linux, Win32's under Wine. Where Wine
// departs from Windows' documentation, the case is checked here only.
#include <gtest/gtest.h>
#include <windows.h>

namespace {

HANDLE open_port(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

class Com17 : public ::testing::Test {
 protected:
  void SetUp() override {
    SetLastError(ERROR_FILE_NOT_FOUND);
    port_ = open_port("\\\\.\\COM17");
    ASSERT_NE(port_, INVALID_HANDLE_VALUE) << "is velmorant-sim linked as COM17?";
    EXPECT_EQ(GetLastError(), 0u) << "an open that succeeds clears the last error";
    dcb_.DCBlength = sizeof dcb_;
    ASSERT_TRUE(GetCommState(port_, &dcb_));
  }
  void TearDown() override { CloseHandle(port_); }
  HANDLE port_ = INVALID_HANDLE_VALUE;
  DCB dcb_{};
};

TEST_F(Com17, APortStartsWithTheDriversDefaults) {
  EXPECT_EQ(dcb_.fBinary, 1u);
  EXPECT_EQ(dcb_.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
  EXPECT_EQ(dcb_.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  EXPECT_EQ(dcb_.fTXContinueOnXoff, 0u);
  EXPECT_EQ(dcb_.XonLim, 10);
  EXPECT_EQ(dcb_.XoffLim, 10);
  EXPECT_EQ(dcb_.ErrorChar, static_cast<char>(0xFF));
  EXPECT_EQ(dcb_.EofChar, 0x04);
}

// A size, parity or stop bits that no driver knows, and the modem lines of a
// line that has none, are not supported; the old settings stay.
TEST_F(Com17, WhatTheDriverCannotDoIsNotSupported) {
  for (auto spoil : {+[](DCB& d) { d.ByteSize = 4; }, +[](DCB& d) { d.ByteSize = 9; },
                     +[](DCB& d) { d.Parity = SPACEPARITY + 1; }, +[](DCB& d) { d.StopBits = TWOSTOPBITS + 1; }}) {
    DCB bad = dcb_;
    spoil(bad);
    SetLastError(0);
    EXPECT_FALSE(SetCommState(port_, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
  }
  DCB edge = dcb_;
  edge.ByteSize = 8;
  edge.StopBits = TWOSTOPBITS;
  EXPECT_TRUE(SetCommState(port_, &edge)) << "the last valid values pass";
  // XON equal to XOFF matters only while XON/XOFF flow control is on.
  for (bool flow : {false, true}) {
    DCB characters = dcb_;
    characters.fOutX = characters.fInX = flow;
    characters.XonChar = 0x11;
    characters.XoffChar = flow ? 0x13 : 0x11;
    EXPECT_TRUE(SetCommState(port_, &characters)) << "XON/XOFF flow " << flow;
  }
  for (DWORD function : {SETDTR, CLRDTR, SETRTS, CLRRTS}) {
    SetLastError(0);
    EXPECT_FALSE(EscapeCommFunction(port_, function));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED)) << function;
  }
  DWORD status = 0;
  SetLastError(0);
  EXPECT_FALSE(GetCommModemStatus(port_, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));
}

TEST_F(Com17, APortNameWithoutTheDevicePrefixIsAFileNotFound) {
  SetLastError(0);
  EXPECT_EQ(open_port("COM17"), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

#ifndef _WIN32
// Wine reports no properties at all (platform/README.md).
TEST_F(Com17, PropertiesTellWhatTheDriverCanDo) {
  COMMPROP p{};
  ASSERT_TRUE(GetCommProperties(port_, &p));
  EXPECT_EQ(p.dwProvCapabilities, static_cast<DWORD>(PCF_RTSCTS | PCF_RLSD | PCF_PARITY_CHECK | PCF_XONXOFF |
                                                     PCF_SETXCHAR | PCF_TOTALTIMEOUTS | PCF_INTTIMEOUTS));
  EXPECT_EQ(p.dwSettableParams,
            static_cast<DWORD>(SP_PARITY | SP_BAUD | SP_DATABITS | SP_STOPBITS | SP_HANDSHAKING | SP_PARITY_CHECK));
  EXPECT_EQ(p.dwSettableBaud, 0x1007FFFFu) << "every listed rate and any other";
  EXPECT_EQ(p.wSettableData, DATABITS_5 | DATABITS_6 | DATABITS_7 | DATABITS_8);
  EXPECT_EQ(p.wSettableStopParity, STOPBITS_10 | STOPBITS_15 | STOPBITS_20 | PARITY_NONE | PARITY_ODD | PARITY_EVEN |
                                       PARITY_MARK | PARITY_SPACE);
}
#endif

}  // namespace
