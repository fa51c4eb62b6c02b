// port_open_time [ROUNDS]: how long CreateFileA takes to open a serial line
// (a pseudo-terminal's terminal end) and CloseHandle to close it, as the
// program's Connect does: the median of ROUNDS opens, in seconds.
#include <windows.h>

#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  int master = -1;
  int terminal = -1;
  char name[64] = {};
  if (openpty(&master, &terminal, name, nullptr, nullptr) != 0) return 1;
  close(terminal);
  const std::string device = std::string("\\\\.\\") + (name + 5);  // "pts/N"
  std::vector<double> seconds;
  for (int i = 0; i < rounds; ++i) {
    const auto start = std::chrono::steady_clock::now();
    HANDLE port = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "port_open_time: cannot open %s: error %lu\n", device.c_str(),
                   static_cast<unsigned long>(GetLastError()));
      return 1;
    }
    CloseHandle(port);
    seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("%.4f\n", seconds[seconds.size() / 2]);
  return 0;
}
