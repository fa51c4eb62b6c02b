// Feeds arbitrary settings texts to BuildCommDCBA and checks what must hold
// for every input: a refusal changes nothing, an acceptance leaves only valid
// values in the fields a settings text may set, and applying the same text
// twice gives what applying it once gave.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

bool same(const DCB& a, const DCB& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte fills the DCB; the rest, up to a zero byte, is the text.
  DCB start;
  std::memset(&start, data[0], sizeof start);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  DCB dcb = start;
  SetLastError(0);
  if (!BuildCommDCBA(text.c_str(), &dcb)) {
    require(same(dcb, start));
    require(GetLastError() == ERROR_INVALID_PARAMETER);
    return 0;
  }
  require(dcb.ByteSize == start.ByteSize || (dcb.ByteSize >= 5 && dcb.ByteSize <= 8));
  require(dcb.Parity == start.Parity || dcb.Parity <= SPACEPARITY);
  require(dcb.StopBits <= TWOSTOPBITS);
  // Never part of a settings text.
  require(dcb.fParity == start.fParity && dcb.fBinary == start.fBinary);
  require(dcb.XonChar == start.XonChar && dcb.XoffChar == start.XoffChar);
  require(dcb.XonLim == start.XonLim && dcb.XoffLim == start.XoffLim);
  require(dcb.ErrorChar == start.ErrorChar && dcb.EofChar == start.EofChar && dcb.EvtChar == start.EvtChar);

  DCB again = dcb;
  require(BuildCommDCBA(text.c_str(), &again));
  require(same(again, dcb));
  return 0;
}
