// How closely velmorant-sim --replay --replay-timing recorded keeps the
// recorded times: a transcript of REQUESTS requests, each answered in four
// pieces at known times after it, is replayed, and a reader of the port
// notes when each piece is in. It prints how far each piece's time after its
// request, and each gap between two pieces, is from the recorded one.
//   replay_timing [REQUESTS]        (default 200)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* REPLY_PIECES[] = {"01 0A", " 64 07", " 64 32 03", " 20 14\r>"};

// The recorded times of request i's pieces after it, in microseconds: they
// vary from request to request so that no fixed rhythm hides an error.
std::vector<long> recorded_offsets(int i) { return {2000 + 300L * (i % 7), 9000, 21000 + 1000L * (i % 5), 45000}; }

double percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

void report(const char* what, const std::vector<double>& errors_ms) {
  std::vector<double> absolute;
  for (double e : errors_ms) absolute.push_back(std::fabs(e));
  double mean = 0;
  for (double e : errors_ms) mean += e / static_cast<double>(errors_ms.size());
  std::printf("%-34s mean %+6.3f ms  median |e| %.3f ms  99%% |e| %.3f ms  max |e| %.3f ms  (%zu)\n", what, mean,
              percentile(absolute, 0.5), percentile(absolute, 0.99), percentile(absolute, 1.0), errors_ms.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int requests = argc > 1 ? std::atoi(argv[1]) : 200;
  char path[] = "/tmp/replay_timing_XXXXXX";
  const int file = mkstemp(path);
  if (file < 0) return 1;
  close(file);
  {
    std::ofstream transcript(path);
    transcript << "# start replay_timing\n";
    for (int i = 0; i < requests; ++i) {
      const long asked = 1000000L + 100000L * i;
      char line[64];
      std::snprintf(line, sizeof line, "%ld.%06ld > 0805\\r\n", asked / 1000000, asked % 1000000);
      transcript << line;
      const std::vector<long> offsets = recorded_offsets(i);
      for (std::size_t p = 0; p < offsets.size(); ++p) {
        std::string bytes = REPLY_PIECES[p];
        if (bytes.ends_with("\r>")) bytes.replace(bytes.size() - 2, 2, "\\r>");
        std::snprintf(line, sizeof line, "%ld.%06ld < ", (asked + offsets[p]) / 1000000,
                      (asked + offsets[p]) % 1000000);
        transcript << line << bytes << "\n";
      }
    }
  }

  int out[2];
  if (pipe(out) != 0) return 1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  const char* sim_argv[] = {VELMORANT_SIM_PATH, "--replay", path, "--replay-timing", "recorded", nullptr};
  pid_t sim = 0;
  if (posix_spawn(&sim, VELMORANT_SIM_PATH, &actions, nullptr, const_cast<char**>(sim_argv), environ) != 0) return 1;
  close(out[1]);
  std::string banner;
  char c = 0;
  while (read(out[0], &c, 1) == 1 && c != '\n') banner += c;
  const std::size_t at = banner.find("port ");
  if (at == std::string::npos) {
    std::fprintf(stderr, "replay_timing: the simulator said: %s\n", banner.c_str());
    return 1;
  }
  const std::string device = "/dev/" + banner.substr(at + 5, banner.find_first_of(", ", at + 5) - at - 5);
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
  termios settings{};
  tcgetattr(fd, &settings);
  cfmakeraw(&settings);
  cfsetspeed(&settings, B19200);
  tcsetattr(fd, TCSANOW, &settings);

  std::vector<double> from_request, gaps;
  for (int i = 0; i < requests; ++i) {
    const std::vector<long> offsets = recorded_offsets(i);
    std::vector<std::size_t> ends;
    std::size_t total = 0;
    for (const char* piece : REPLY_PIECES) ends.push_back(total += std::string(piece).size());
    write(fd, "0805\r", 5);
    const auto asked = Clock::now();
    std::size_t got = 0, piece = 0;
    std::vector<double> arrived_ms;
    while (piece < ends.size()) {
      pollfd entry{fd, POLLIN, 0};
      if (poll(&entry, 1, 2000) <= 0) {
        std::fprintf(stderr, "replay_timing: no reply to request %d\n", i);
        return 1;
      }
      char buffer[64];
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return 1;
      got += static_cast<std::size_t>(n);
      const double now_ms = std::chrono::duration<double, std::milli>(Clock::now() - asked).count();
      for (; piece < ends.size() && got >= ends[piece]; ++piece) arrived_ms.push_back(now_ms);
    }
    for (std::size_t p = 0; p < offsets.size(); ++p) {
      from_request.push_back(arrived_ms[p] - static_cast<double>(offsets[p]) / 1000);
      if (p > 0)
        gaps.push_back((arrived_ms[p] - arrived_ms[p - 1]) - static_cast<double>(offsets[p] - offsets[p - 1]) / 1000);
    }
    usleep(50000);  // the rest of a polling period
  }
  close(fd);
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  unlink(path);
  report("piece after its request, error:", from_request);
  report("gap between two pieces, error:", gaps);
  return 0;
}
