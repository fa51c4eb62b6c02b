// BuildCommDCBA: the mode command's settings in both forms. The same cases run
// against our layer and, under Wine, against Win32's.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>

int sum_through_va_list(int count, ...);  // windows_header_only.cpp

namespace {

// What a settings text sets; fields left empty must stay as they were.
struct Expected {
  std::optional<DWORD> baud = {};
  std::optional<BYTE> parity = {}, byte_size = {}, stop_bits = {};
  std::optional<DWORD> out_x = {}, in_x = {}, cts_flow = {}, dsr_flow = {}, dtr = {}, rts = {}, dsr_sensitivity = {};
};

struct Case {
  const char* text;
  Expected expected;
};

// Builds from a DCB filled with fill and checks every field the text names,
// and that those it does not name keep the fill.
void expect_builds(const Case& c, int fill) {
  DCB dcb;
  std::memset(&dcb, fill, sizeof dcb);
  DCB before = dcb;
  SetLastError(0xdeadbeef);
  ASSERT_TRUE(BuildCommDCBA(c.text, &dcb)) << '"' << c.text << '"';
  EXPECT_EQ(GetLastError(), 0xdeadbeefu) << c.text;
  const Expected& e = c.expected;
  EXPECT_EQ(dcb.BaudRate, e.baud.value_or(before.BaudRate)) << c.text;
  EXPECT_EQ(dcb.Parity, e.parity.value_or(before.Parity)) << c.text;
  EXPECT_EQ(dcb.ByteSize, e.byte_size.value_or(before.ByteSize)) << c.text;
  EXPECT_EQ(dcb.StopBits, e.stop_bits.value_or(before.StopBits)) << c.text;
  EXPECT_EQ(dcb.fOutX, e.out_x.value_or(DWORD{before.fOutX})) << c.text;
  EXPECT_EQ(dcb.fInX, e.in_x.value_or(DWORD{before.fInX})) << c.text;
  EXPECT_EQ(dcb.fOutxCtsFlow, e.cts_flow.value_or(DWORD{before.fOutxCtsFlow})) << c.text;
  EXPECT_EQ(dcb.fOutxDsrFlow, e.dsr_flow.value_or(DWORD{before.fOutxDsrFlow})) << c.text;
  EXPECT_EQ(dcb.fDtrControl, e.dtr.value_or(DWORD{before.fDtrControl})) << c.text;
  EXPECT_EQ(dcb.fRtsControl, e.rts.value_or(DWORD{before.fRtsControl})) << c.text;
  EXPECT_EQ(dcb.fDsrSensitivity, e.dsr_sensitivity.value_or(DWORD{before.fDsrSensitivity})) << c.text;
  // Never touched by a settings text.
  EXPECT_EQ(dcb.fParity, before.fParity) << c.text;
  EXPECT_EQ(dcb.fBinary, before.fBinary) << c.text;
  EXPECT_EQ(dcb.XonLim, before.XonLim) << c.text;
  EXPECT_EQ(dcb.XonChar, before.XonChar) << c.text;
  EXPECT_EQ(dcb.EofChar, before.EofChar) << c.text;
}

TEST(BuildCommDcb, TheProgramsSettingsTextGives19200_8N1) {
  DCB dcb{};
  ASSERT_TRUE(BuildCommDCBA("COM17: baud=19200 parity=N Data=8 stop=1", &dcb));
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.Parity, NOPARITY);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
}

TEST(BuildCommDcb, KeywordFormSetsWhatItNamesAndAlwaysTheStopBits) {
  const Case cases[] = {
      {"baud=9600 parity=e data=5 stop=1 xon=on odsr=off octs=off dtr=on rts=on idsr=on",
       {.baud = 9600,
        .parity = EVENPARITY,
        .byte_size = 5,
        .stop_bits = ONESTOPBIT,
        .out_x = 1,
        .in_x = 1,
        .cts_flow = 0,
        .dsr_flow = 0,
        .dtr = DTR_CONTROL_ENABLE,
        .rts = RTS_CONTROL_ENABLE,
        .dsr_sensitivity = 1}},
      {"baud=0 parity=M data=6 stop=1.5 xon=off odsr=on octs=ON dtr=off rts=off idsr=OFF",
       {.baud = 0,
        .parity = MARKPARITY,
        .byte_size = 6,
        .stop_bits = ONE5STOPBITS,
        .out_x = 0,
        .in_x = 0,
        .cts_flow = 1,
        .dsr_flow = 1,
        .dtr = DTR_CONTROL_DISABLE,
        .rts = RTS_CONTROL_DISABLE,
        .dsr_sensitivity = 0}},
      {"BAUD=4000000000 parity=n data=7 stop=2 to=off",
       {.baud = 4000000000u, .parity = NOPARITY, .byte_size = 7, .stop_bits = TWOSTOPBITS}},
      {"Baud=115200 Parity=O Data=8 To=On",
       {.baud = 115200, .parity = ODDPARITY, .byte_size = 8, .stop_bits = ONESTOPBIT}},
      {"PaRiTy=s           Data=7          DTR=on",
       {.parity = SPACEPARITY, .byte_size = 7, .stop_bits = ONESTOPBIT, .dtr = DTR_CONTROL_ENABLE}},
      {"baud=110 data=8", {.baud = 110, .byte_size = 8, .stop_bits = TWOSTOPBITS}},
      {"COM1:baud=38400 data=8", {.baud = 38400, .byte_size = 8, .stop_bits = ONESTOPBIT}},
      {"COM1  :to=on stop=1.5", {.stop_bits = ONE5STOPBITS}},
      {"com1:               baud=12345     data=7", {.baud = 12345, .byte_size = 7, .stop_bits = ONESTOPBIT}},
      {"COM1 : xon=on odsr=off", {.stop_bits = ONESTOPBIT, .out_x = 1, .in_x = 1, .dsr_flow = 0}},
      {"COM17 baud=19200", {.baud = 19200, .stop_bits = ONESTOPBIT}},
      {"COM17:", {.stop_bits = ONESTOPBIT}},
  };
  for (const Case& c : cases) {
    expect_builds(c, 0x00);
    expect_builds(c, 0xff);
  }
}

TEST(BuildCommDcb, CommaFormNeedsFourValuesAndSetsTheFlowControl) {
  constexpr Expected none{
      .out_x = 0, .in_x = 0, .cts_flow = 0, .dsr_flow = 0, .dtr = DTR_CONTROL_ENABLE, .rts = RTS_CONTROL_ENABLE};
  auto with = [](Expected e, DWORD baud, BYTE parity, BYTE size, BYTE stop) {
    e.baud = baud;
    e.parity = parity;
    e.byte_size = size;
    e.stop_bits = stop;
    return e;
  };
  constexpr Expected xon{
      .out_x = 1, .in_x = 1, .cts_flow = 0, .dsr_flow = 0, .dtr = DTR_CONTROL_ENABLE, .rts = RTS_CONTROL_ENABLE};
  constexpr Expected hardware{
      .out_x = 0, .in_x = 0, .cts_flow = 1, .dsr_flow = 1, .dtr = DTR_CONTROL_HANDSHAKE, .rts = RTS_CONTROL_HANDSHAKE};
  const Case cases[] = {
      {"11,n,8,1", with(none, 110, NOPARITY, 8, ONESTOPBIT)},
      {"30 ,E, 5,1.5", with(none, 300, EVENPARITY, 5, ONE5STOPBITS)},
      {"60, m, 6, 2 ", with(none, 600, MARKPARITY, 6, TWOSTOPBITS)},
      {"12 , o , 7 , 1", with(none, 1200, ODDPARITY, 7, ONESTOPBIT)},
      {"24,s,8,1.5", with(none, 2400, SPACEPARITY, 8, ONE5STOPBITS)},
      {"48,n,8,1,p", with(hardware, 4800, NOPARITY, 8, ONESTOPBIT)},
      {"96,N,8,1 , x ", with(xon, 9600, NOPARITY, 8, ONESTOPBIT)},
      {"19, e, 7, 1, x", with(xon, 19200, EVENPARITY, 7, ONESTOPBIT)},
      {"0,M,7,1,P", with(hardware, 0, MARKPARITY, 7, ONESTOPBIT)},
      {"4000000000,O,7,1.5,X", with(xon, 4000000000u, ODDPARITY, 7, ONE5STOPBITS)},
      {"COM1:9600,N,8,1", with(none, 9600, NOPARITY, 8, ONESTOPBIT)},
      {"COM1:  11,E,7,2", with(none, 110, EVENPARITY, 7, TWOSTOPBITS)},
      {"COM1  :    57600,S,6,2,x", with(xon, 57600, SPACEPARITY, 6, TWOSTOPBITS)},
  };
  for (const Case& c : cases) {
    expect_builds(c, 0x00);
    expect_builds(c, 0xff);
  }
}

TEST(BuildCommDcb, RefusedTextsLeaveTheDcbAsItWas) {
  for (const char* text :
       {"data=4",           "data=9",           "parity=no",  "parity=x",       "stop=0",     "stop=1.501",
        "stop=3",           "to=foobar",        "xon=maybe",  " baud=9600",     "baud= 9600", "baud=9600 ",
        "baud=9600,data=8", "baud=9600;data=8", "speed=9600", "96,N,8,1 to=on", "96,NO,8,1",  "96,N,4,1",
        "96,N,9,1",         "96,N,8,0",         "96,N,8,3",   "96,N,8,1,K",     "96,N,8",     "COM0:baud=115200",
        "COM0:9600,N,8,1",  "COMx:baud=9600",   "COM17",      "com1",           "odsr=maybe", "octs=maybe",
        "dtr=maybe",        "rts=maybe",        "idsr=maybe", "baud=fast"}) {
    DCB dcb;
    std::memset(&dcb, 0x5a, sizeof dcb);
    SetLastError(0);
    EXPECT_FALSE(BuildCommDCBA(text, &dcb)) << '"' << text << '"';
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << text;
    DCB untouched;
    std::memset(&untouched, 0x5a, sizeof untouched);
    // DCBlength aside, which some Win32 versions fill in even on failure.
    dcb.DCBlength = untouched.DCBlength;
    EXPECT_EQ(std::memcmp(&dcb, &untouched, sizeof dcb), 0) << text;
  }
}

// A handle that is no serial port: Windows opens the null device, and the
// comm functions refuse its handle; here only serial lines are opened at all.
TEST(CommHandle, HandleThatIsNoSerialPortIsInvalidForTheCommFunctions) {
#ifdef _WIN32
  HANDLE device = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(device, INVALID_HANDLE_VALUE);
  DCB dcb{};
  COMMTIMEOUTS timeouts{};
  COMSTAT status{};
  DWORD value = 0;
  SetLastError(0);
  EXPECT_FALSE(GetCommState(device, &dcb));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(SetCommTimeouts(device, &timeouts));  // Wine: ERROR_ACCESS_DENIED, from the device itself
  SetLastError(0);
  EXPECT_FALSE(ClearCommError(device, &value, &status));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  SetLastError(0);
  EXPECT_FALSE(EscapeCommFunction(device, SETDTR));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(CloseHandle(device));
#else
  SetLastError(0);
  EXPECT_EQ(CreateFileA("\\\\.\\null", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
#endif
}

TEST(CommHandle, WindowsHeaderAloneBringsVaList) { EXPECT_EQ(sum_through_va_list(3, 4, 5, 6), 15); }

}  // namespace
