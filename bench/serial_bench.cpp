// The cost of the program's way of reading (one input count, then a one-byte
// read) over a pseudo-terminal, and the round trip of a measuring request and
// its reply through velmorant-sim on COM17.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "serial_port.h"

extern char** environ;

namespace {

constexpr char settings[] = ": baud=19200 parity=N Data=8 stop=1";

void BM_InputCountAndOneByteRead(benchmark::State& state) {
  int master = -1;
  int terminal = -1;
  char name[64] = {};
  if (openpty(&master, &terminal, name, nullptr, nullptr) != 0) {
    state.SkipWithError("openpty failed");
    return;
  }
  SerialPort port = serial_open((std::string(name + 5) + settings).c_str(), HANDSHAKE_NONE, 255, 255);
  if (port == nullptr) {
    state.SkipWithError("serial_open failed");
    return;
  }
  const std::string chunk(1024, 'v');
  char byte = 0;
  for (auto _ : state) {
    if (serial_input_count(port) == 0) {
      state.PauseTiming();
      if (write(master, chunk.data(), chunk.size()) < 0) state.SkipWithError("write failed");
      while (serial_input_count(port) < chunk.size()) std::this_thread::sleep_for(std::chrono::microseconds(100));
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(serial_read(port, &byte, 1));
  }
  serial_close(port);
  close(terminal);
  close(master);
}
BENCHMARK(BM_InputCountAndOneByteRead);

// velmorant-sim in a folder of its own, linked as COM17 there.
class Simulator {
 public:
  explicit Simulator(bool fast) {
    char pattern[] = "/tmp/velmorant-bench.XXXXXX";
    folder_ = mkdtemp(pattern);
    setenv("VELMORANT_DOSDEVICES", folder_.c_str(), 1);
    std::string program = VELMORANT_SIM_PATH;
    std::vector<char*> arguments = {program.data(), const_cast<char*>("--link"), const_cast<char*>("COM17"),
                                    const_cast<char*>("--scenario"), const_cast<char*>("fixed")};
    if (fast) arguments.push_back(const_cast<char*>("--fast"));
    arguments.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, arguments.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 200 && !ready(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~Simulator() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove_all(folder_);
  }
  bool ready() const {
    struct stat info {};
    return pid_ > 0 && lstat((folder_ + "/com17").c_str(), &info) == 0;
  }

 private:
  std::string folder_;
  pid_t pid_ = -1;
};

// state.range(0): 1 for a simulator that answers at once, 0 for one paced at 19200 baud.
void BM_RequestReplyRoundTrip(benchmark::State& state) {
  Simulator simulator(state.range(0) == 1);
  if (!simulator.ready()) {
    state.SkipWithError("velmorant-sim did not start");
    return;
  }
  SerialPort port = serial_open((std::string("COM17") + settings).c_str(), HANDSHAKE_NONE, 255, 255);
  if (port == nullptr) {
    state.SkipWithError("COM17 did not open");
    return;
  }
  std::string reply;
  for (auto _ : state) {
    serial_write(port, "0805\r", 5);
    reply.clear();
    while (reply.find("\r>") == std::string::npos) {
      if (serial_input_count(port) == 0) continue;  // the program's own busy collection
      char byte = 0;
      if (serial_read(port, &byte, 1)) reply += byte;
    }
  }
  state.counters["reply_bytes"] = static_cast<double>(reply.size());
  serial_close(port);
}
BENCHMARK(BM_RequestReplyRoundTrip)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace
