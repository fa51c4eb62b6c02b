// BuildCommDCBA: the settings of the Windows mode command, in either form.
//
//   [COMn:] baud=B parity=P data=D stop=S to=T xon=X odsr=O octs=C dtr=R rts=Q idsr=I
//   [COMn:] B,P,D,S[,x|,p]
//
// Keywords and letters are case-insensitive. A text with a comma is the old
// form, which needs all four values and abbreviates the baud rate (96 for
// 9600). The new form sets only what it names, except that the stop bits
// always get a value (2 at 110 baud, else 1). An unknown keyword, a bad value
// or anything left over fails with ERROR_INVALID_PARAMETER and leaves the DCB
// as it was.
#include <windows.h>

#include <optional>
#include <string_view>

namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

class Cursor {
 public:
  explicit Cursor(std::string_view text) : rest_(text) {}

  bool at_end() const { return rest_.empty(); }
  bool contains(char c) const { return rest_.find(c) != std::string_view::npos; }
  // A value ends at the end of the text or at a space.
  bool at_value_end() const { return rest_.empty() || rest_.front() == ' '; }

  void skip_spaces() {
    while (!rest_.empty() && rest_.front() == ' ') rest_.remove_prefix(1);
  }

  bool take(char c) {
    if (rest_.empty() || rest_.front() != c) return false;
    rest_.remove_prefix(1);
    return true;
  }

  // Takes word when the text starts with it, in any case.
  bool take_word(std::string_view word) {
    if (rest_.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (lower(rest_[i]) != word[i]) return false;
    }
    rest_.remove_prefix(word.size());
    return true;
  }

  std::optional<char> take_letter() {
    if (rest_.empty()) return std::nullopt;
    const char c = lower(rest_.front());
    rest_.remove_prefix(1);
    return c;
  }

  // A Linux device name directly followed by a colon: a letter, then letters,
  // digits and "/_-.". Takes nothing when the text does not start with one.
  bool take_device_name() {
    auto is_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (rest_.empty() || !is_letter(rest_.front())) return false;
    std::size_t end = 1;
    while (end < rest_.size() && (is_letter(rest_[end]) || (rest_[end] >= '0' && rest_[end] <= '9') ||
                                  std::string_view("/_-.").find(rest_[end]) != std::string_view::npos)) {
      ++end;
    }
    if (end == rest_.size() || rest_[end] != ':') return false;
    rest_.remove_prefix(end);
    return true;
  }

  // A decimal number that fits a DWORD.
  std::optional<DWORD> take_number() {
    if (rest_.empty() || rest_.front() < '0' || rest_.front() > '9') return std::nullopt;
    std::uint64_t value = 0;
    while (!rest_.empty() && rest_.front() >= '0' && rest_.front() <= '9') {
      value = value * 10 + static_cast<unsigned>(rest_.front() - '0');
      if (value > MAXDWORD) return std::nullopt;
      rest_.remove_prefix(1);
    }
    return static_cast<DWORD>(value);
  }

 private:
  std::string_view rest_;
};

// "COMn:" (n > 0; a space may stand for the colon, and spaces may surround
// it). Linux device names ("pts/4:", "ttyUSB0:") are taken the same way,
// colon required, since those are the names of ports here.
bool skip_device_prefix(Cursor& text) {
  if (text.take_word("com")) {
    const std::optional<DWORD> number = text.take_number();
    // A colon or a space must follow the number: "COM17" alone is no settings text.
    if (!number || *number == 0 || text.at_end() || !(text.at_value_end() || text.take(':'))) return false;
    text.skip_spaces();
    if (text.take(':')) text.skip_spaces();
    return true;
  }
  if (text.take_device_name()) {
    text.take(':');
    text.skip_spaces();
  }
  return true;
}

bool parse_parity(Cursor& text, BYTE& parity) {
  switch (text.take_letter().value_or('\0')) {
    case 'n': parity = NOPARITY; return true;
    case 'o': parity = ODDPARITY; return true;
    case 'e': parity = EVENPARITY; return true;
    case 'm': parity = MARKPARITY; return true;
    case 's': parity = SPACEPARITY; return true;
    default: return false;
  }
}

bool parse_data_bits(Cursor& text, BYTE& byte_size) {
  const std::optional<DWORD> bits = text.take_number();
  if (!bits || *bits < 5 || *bits > 8) return false;
  byte_size = static_cast<BYTE>(*bits);
  return true;
}

bool parse_stop_bits(Cursor& text, BYTE& stop_bits) {
  if (text.take_word("1.5")) {
    stop_bits = ONE5STOPBITS;
    return true;
  }
  const std::optional<DWORD> bits = text.take_number();
  if (!bits || (*bits != 1 && *bits != 2)) return false;
  stop_bits = *bits == 1 ? ONESTOPBIT : TWOSTOPBITS;
  return true;
}

std::optional<bool> parse_on_off(Cursor& text) {
  if (text.take_word("on")) return true;
  if (text.take_word("off")) return false;
  return std::nullopt;
}

// The old form's two-digit abbreviations of the common rates.
DWORD expand_baud(DWORD baud) {
  switch (baud) {
    case 11: return 110;
    case 30: return 300;
    case 60: return 600;
    case 12: return 1200;
    case 24: return 2400;
    case 48: return 4800;
    case 96: return 9600;
    case 19: return 19200;
    default: return baud;
  }
}

bool comma(Cursor& text) {
  text.skip_spaces();
  if (!text.take(',')) return false;
  text.skip_spaces();
  return true;
}

bool parse_old_form(Cursor& text, DCB& dcb) {
  const std::optional<DWORD> baud = text.take_number();
  if (!baud) return false;
  dcb.BaudRate = expand_baud(*baud);
  if (!comma(text) || !parse_parity(text, dcb.Parity)) return false;
  if (!comma(text) || !parse_data_bits(text, dcb.ByteSize)) return false;
  if (!comma(text) || !parse_stop_bits(text, dcb.StopBits)) return false;
  text.skip_spaces();

  // No suffix: no flow control; x: XON/XOFF; p: hardware handshaking.
  char flow = '\0';
  if (text.take(',')) {
    text.skip_spaces();
    flow = text.take_letter().value_or('\0');
    if (flow != 'x' && flow != 'p') return false;
    text.skip_spaces();
  }
  if (!text.at_end()) return false;
  const bool hardware = flow == 'p';
  dcb.fOutX = dcb.fInX = flow == 'x' ? 1 : 0;
  dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = hardware ? 1 : 0;
  dcb.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
  dcb.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
  return true;
}

bool parse_new_form(Cursor& text, DCB& dcb) {
  bool baud_given = false;
  bool stop_given = false;
  while (!text.at_end()) {
    // Spaces separate settings; a leading or trailing one is refused, as Win32 does.
    if (text.at_value_end()) return false;
    std::optional<bool> on;
    if (text.take_word("baud=")) {
      const std::optional<DWORD> baud = text.take_number();
      if (!baud) return false;
      dcb.BaudRate = *baud;
      baud_given = true;
    } else if (text.take_word("parity=")) {
      if (!parse_parity(text, dcb.Parity)) return false;
    } else if (text.take_word("data=")) {
      if (!parse_data_bits(text, dcb.ByteSize)) return false;
    } else if (text.take_word("stop=")) {
      if (!parse_stop_bits(text, dcb.StopBits)) return false;
      stop_given = true;
    } else if (text.take_word("to=")) {
      if (!parse_on_off(text)) return false;  // a timeout setting: not part of a DCB
    } else if (text.take_word("xon=")) {
      if (!(on = parse_on_off(text))) return false;
      dcb.fOutX = dcb.fInX = *on ? 1 : 0;
    } else if (text.take_word("odsr=")) {
      if (!(on = parse_on_off(text))) return false;
      dcb.fOutxDsrFlow = *on ? 1 : 0;
    } else if (text.take_word("octs=")) {
      if (!(on = parse_on_off(text))) return false;
      dcb.fOutxCtsFlow = *on ? 1 : 0;
    } else if (text.take_word("dtr=")) {
      if (!(on = parse_on_off(text))) return false;
      dcb.fDtrControl = *on ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    } else if (text.take_word("rts=")) {
      if (!(on = parse_on_off(text))) return false;
      dcb.fRtsControl = *on ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    } else if (text.take_word("idsr=")) {
      if (!(on = parse_on_off(text))) return false;
      dcb.fDsrSensitivity = *on ? 1 : 0;
    } else {
      return false;
    }
    if (text.at_end()) break;
    if (!text.take(' ')) return false;
    text.skip_spaces();
    if (text.at_end()) return false;
  }
  if (!stop_given) dcb.StopBits = baud_given && dcb.BaudRate == 110 ? TWOSTOPBITS : ONESTOPBIT;
  return true;
}

}  // namespace

BOOL WINAPI BuildCommDCBA(LPCSTR definition, LPDCB dcb) {
  if (definition == nullptr || dcb == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Cursor text{std::string_view(definition)};
  DCB result = *dcb;
  bool parsed = skip_device_prefix(text);
  if (parsed) parsed = text.contains(',') ? parse_old_form(text, result) : parse_new_form(text, result);
  if (!parsed) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *dcb = result;
  return TRUE;
}
