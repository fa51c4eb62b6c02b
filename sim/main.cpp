// velmorant-sim: a pseudo-terminal that answers like the Velmorant interface.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "port_watch.h"
#include "pty_port.h"
#include "replay.h"
#include "request_log.h"
#include "scenario.h"
#include "tap.h"
#include "velmorant_version.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

struct Options {
  std::string scenario = "ramp";
  ScenarioOptions scenario_options;
  std::string link;
  std::string log;
  bool fast = false;
  std::string replay;
  std::optional<ReplayTiming> replay_timing;
  std::string tap;
  std::string record;
  // After a hang-up the interface is away this long and then comes back
  // on a new terminal under the same link; without it the simulator ends.
  std::optional<std::chrono::milliseconds> replug_after;
};

void print_help() {
  std::cout << "Usage: velmorant-sim [options]\n"
               "\n"
               "Simulates the Velmorant diagnostic interface on a pseudo-terminal, so that\n"
               "the program can be tried without a car. It prints the port name to type\n"
               "into the program's port field (e.g. pts/4) and answers \"ati\", \"atd01\" and\n"
               "\"08\" + group requests until stopped with Ctrl+C (SIGINT) or SIGTERM.\n"
               "\n"
               "Options (each with a value also as --option=VALUE):\n"
               "  --scenario NAME  how the interface answers (see below); default ramp\n"
               "  --link COMn      also make the port reachable as COMn (a link in\n"
               "                   $VELMORANT_DOSDEVICES, else ~/.velmorant/dosdevices;\n"
               "                   removed again when the simulator stops; refused\n"
               "                   while another simulator serves COMn)\n"
               "  --log FILE       append every request to FILE, one line each:\n"
               "                   monotonic seconds, then the request with C escapes;\n"
               "                   \"# opened\" and \"# closed\" when the program opens\n"
               "                   and closes the port (also told on stdout)\n"
               "  --fast           answer at once instead of at the line's baud rate\n"
               "  --replay FILE    answer as the transcript FILE recorded instead of a\n"
               "                   scenario (man velmorant-sim tells the format)\n"
               "  --replay-timing linerate|recorded\n"
               "                   send each reply at the line's baud rate (default), or\n"
               "                   each piece as long after the request as recorded\n"
               "  --tap DEVICE     pass every byte to and from the interface on DEVICE\n"
               "                   (e.g. /dev/ttyUSB0) instead of answering; needs --record\n"
               "  --record FILE    append the transcript of what --tap passed to FILE\n"
               "  --replug-after SECONDS\n"
               "                   after hanging up (see hang-up), come back after SECONDS\n"
               "                   (0 to 60, e.g. 0.5) on a new terminal under the same\n"
               "                   link, as a device that is unplugged and plugged in\n"
               "                   again; \"# hung up\" and \"# back\" go to the log\n"
               "  --speed KMH      speed of the fixed scenario (0..255); default 50\n"
               "  --cycles N       measuring replies before hang-up hangs up; default 5\n"
               "  --gap MS         pause between bytes of the trickle scenario; default 30\n"
               "  --connect-wait TENTHS\n"
               "                   tenths of a second before the slow-connect scenario\n"
               "                   answers \"atd01\"; default 25\n"
               "  --flood-seconds N\n"
               "                   how long the flood scenario floods instead of\n"
               "                   identifying; default 5\n"
               "  --seed N         seed of the garbage scenario; default 1\n"
               "  --fields LIST    speed field values of the fields scenario, comma\n"
               "                   separated, e.g. \"64 32,01 96,FF FF\"; default 64 32\n"
               "  --version        the simulator's version\n"
               "  --help           this text\n"
               "\n"
               "Scenarios:\n";
  for (const ScenarioInfo& info : scenarios()) {
    std::string name(info.name);
    name.resize(14, ' ');
    std::cout << "  " << name << info.summary << "\n";
  }
}

int number_argument(const std::string& option, const char* value, int low, int high) {
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(value, &end, 10);
  if (errno != 0 || end == value || *end != '\0' || number < low || number > high) {
    throw std::invalid_argument(option + " wants a number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return static_cast<int>(number);
}

std::chrono::milliseconds seconds_argument(const std::string& option, const char* value) {
  char* end = nullptr;
  errno = 0;
  const double seconds = std::strtod(value, &end);
  if (errno != 0 || end == value || *end != '\0' || !(seconds >= 0 && seconds <= 60)) {
    throw std::invalid_argument(option + " wants seconds from 0 to 60");
  }
  return std::chrono::milliseconds(std::lround(seconds * 1000));
}

// "64 32,01 96": each item two hexadecimal pairs as they stand in a reply.
std::vector<std::string> field_list(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(',', start);
    const std::string field = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const bool well_formed =
        field.size() == 5 && field[2] == ' ' && std::isxdigit(static_cast<unsigned char>(field[0])) &&
        std::isxdigit(static_cast<unsigned char>(field[1])) && std::isxdigit(static_cast<unsigned char>(field[3])) &&
        std::isxdigit(static_cast<unsigned char>(field[4]));
    if (!well_formed) throw std::invalid_argument("--fields wants items like \"64 32\", not \"" + field + "\"");
    fields.push_back(field);
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

ReplayTiming replay_timing(const std::string& value) {
  if (value == "linerate") return ReplayTiming::LineRate;
  if (value == "recorded") return ReplayTiming::Recorded;
  throw std::invalid_argument("--replay-timing wants linerate or recorded, not \"" + value + "\"");
}

Options parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      print_help();
      std::exit(0);
    }
    if (option == "--version") {
      std::cout << "velmorant-sim " VELMORANT_VERSION "\n";
      std::exit(0);
    }
    if (option == "--fast") {
      options.fast = true;
      continue;
    }
    if (i + 1 >= argc) throw std::invalid_argument("unknown option or missing value: " + option);
    const char* value = argv[++i];
    if (option == "--scenario")
      options.scenario = value;
    else if (option == "--link")
      options.link = value;
    else if (option == "--log")
      options.log = value;
    else if (option == "--replay")
      options.replay = value;
    else if (option == "--replay-timing")
      options.replay_timing = replay_timing(value);
    else if (option == "--tap")
      options.tap = value;
    else if (option == "--record")
      options.record = value;
    else if (option == "--speed")
      options.scenario_options.speed = number_argument(option, value, 0, 255);
    else if (option == "--cycles")
      options.scenario_options.cycles = number_argument(option, value, 1, 1000000);
    else if (option == "--gap")
      options.scenario_options.gap_ms = number_argument(option, value, 0, 60000);
    else if (option == "--connect-wait") {
      options.scenario_options.connect_tenths = number_argument(option, value, 0, 6000);
    } else if (option == "--flood-seconds") {
      options.scenario_options.flood_seconds = number_argument(option, value, 0, 86400);
    } else if (option == "--replug-after") {
      options.replug_after = seconds_argument(option, value);
    } else if (option == "--fields")
      options.scenario_options.fields = field_list(value);
    else if (option == "--seed") {
      options.scenario_options.seed = static_cast<std::uint32_t>(number_argument(option, value, 0, 0x7fffffff));
    } else {
      throw std::invalid_argument("unknown option: " + option);
    }
  }
  if (find_scenario(options.scenario) == nullptr) {
    std::string names;
    for (const ScenarioInfo& info : scenarios()) names += (names.empty() ? "" : ", ") + std::string(info.name);
    throw std::invalid_argument("unknown scenario: " + options.scenario + "; the scenarios are " + names);
  }
  if (options.tap.empty() != options.record.empty()) throw std::invalid_argument("--tap and --record go together");
  if (!options.tap.empty() && !options.replay.empty()) throw std::invalid_argument("--tap or --replay, not both");
  if (options.replay_timing && options.replay.empty()) throw std::invalid_argument("--replay-timing needs --replay");
  return options;
}

// "--speed=50" is taken as "--speed 50", so every option has both forms.
std::vector<std::string> split_assignments(int argc, char** argv) {
  std::vector<std::string> words;
  for (int i = 0; i < argc; ++i) {
    const std::string word = argv[i];
    const std::size_t equals = word.find('=');
    if (!word.starts_with("--") || equals == std::string::npos) {
      words.push_back(word);
    } else {
      words.push_back(word.substr(0, equals));
      words.push_back(word.substr(equals + 1));
    }
  }
  return words;
}

// Bytes waiting to go out, each at its time: one byte per character time of
// the line (unless fast), plus the scenario's gap.
struct Outgoing {
  std::deque<char> bytes;
  std::chrono::milliseconds gap{0};
  Clock::time_point next_send = Clock::now();
  bool hang_up_when_sent = false;
  std::string flood;  // sent again whenever the bytes run out, until flood_end
  Clock::time_point flood_end{};
  std::string after_flood;
  // Pieces released into bytes at their time (a replay at the recorded timing).
  std::deque<std::pair<Clock::time_point, std::string>> later;
};

class Simulator {
 public:
  Simulator(PtyPort& port, PortWatch& watch, Interface& interface, RequestLog& log, bool fast)
      : port_(port), watch_(watch), interface_(interface), log_(log), fast_(fast) {}

  // Serves until a signal arrives or the scenario hangs up.
  void run(const sigset_t& unblocked) {
    while (!stop_requested) {
      refill();
      pollfd entries[2] = {{port_.master(), POLLIN, 0}, {watch_.fd(), POLLIN, 0}};
      pollfd& entry = entries[0];
      if (!out_.bytes.empty() && blocked_) entry.events |= POLLOUT;
      timespec timeout{};
      timespec* wait = nullptr;
      std::optional<Clock::time_point> wake;
      if (!out_.bytes.empty() && !blocked_) {
        wake = out_.next_send;
      } else if (out_.bytes.empty() && !out_.later.empty()) {
        wake = out_.later.front().first;
      }
      if (wake) {
        const auto left = std::max(Clock::duration::zero(), *wake - Clock::now());
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
        timeout = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
        wait = &timeout;
      }
      const int ready = ppoll(entries, 2, wait, &unblocked);
      if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
      if (ready > 0 && (entries[1].revents & POLLIN)) follow_port_changes();
      if (ready > 0 && (entry.revents & POLLIN)) receive();
      if (ready > 0 && (entry.revents & POLLOUT)) blocked_ = false;
      release_later();
      send_due();
      if (out_.bytes.empty() && out_.later.empty() && out_.hang_up_when_sent) {
        std::cout << "velmorant-sim: hanging up" << std::endl;
        return;
      }
    }
  }

 private:
  // Tells and logs every open and close. What would have answered a program
  // that closed the port is dropped with it, so that a new connection starts
  // clean. Requests still unread when the port closed are the closing
  // program's, and answered (into nothing) first; when it has been opened
  // again meanwhile, they are taken as the new program's, which sends its
  // first request at once.
  void follow_port_changes() {
    const std::vector<PortWatch::Change> changes = watch_.take();
    if (changes.empty()) return;
    if (port_open_ && changes.back() == PortWatch::Change::Closed) receive();
    for (PortWatch::Change change : changes) {
      port_open_ = change == PortWatch::Change::Opened;
      const char* what = port_open_ ? "opened" : "closed";
      std::cout << "velmorant-sim: the program " << what << " the port" << std::endl;
      log_.note(what);
      if (!port_open_) {
        request_.clear();
        out_.bytes.clear();
        out_.flood.clear();
        out_.after_flood.clear();
        out_.later.clear();
        blocked_ = false;
      }
    }
    // Not while a new program holds the line: its exclusive use stays.
    if (!port_open_) port_.forget_program();
  }

  void receive() {
    char buffer[256];
    for (;;) {
      const ssize_t got = read(port_.master(), buffer, sizeof buffer);
      if (got <= 0) return;  // EAGAIN, or EIO while nobody has the port open
      for (ssize_t i = 0; i < got; ++i) {
        request_ += buffer[i];
        // A request ends with its carriage return; one that never ends is
        // cut at 256 bytes so that memory stays bounded.
        if (buffer[i] == '\r' || request_.size() >= 256) answer_request();
      }
    }
  }

  void answer_request() {
    log_.record(request_);
    std::optional<Answer> answer = interface_.answer(request_);
    request_.clear();
    if (!answer) return;
    // The delay counts from the request; the program waits for each answer
    // before it asks again, so nothing earlier is still queued behind it.
    if (out_.bytes.empty()) out_.next_send = std::max(out_.next_send, Clock::now() + answer->delay);
    if (out_.flood.empty()) {
      out_.bytes.insert(out_.bytes.end(), answer->bytes.begin(), answer->bytes.end());
    } else {
      out_.after_flood += answer->bytes;  // what is asked during a flood is answered after it
    }
    for (auto& [after, bytes] : answer->later) out_.later.emplace_back(Clock::now() + after, std::move(bytes));
    out_.gap = answer->byte_gap;
    out_.hang_up_when_sent = out_.hang_up_when_sent || answer->hang_up_after;
    if (!answer->flood.empty()) {
      out_.flood = answer->flood;
      out_.flood_end = answer->flood_for == std::chrono::milliseconds::max() ? Clock::time_point::max()
                                                                             : Clock::now() + answer->flood_for;
      out_.after_flood = answer->after_flood;
    }
  }

  // A flood's next rounds once the bytes before it are out; only about 4 kB
  // are held, so a flood of any length takes no more memory.
  void refill() {
    if (!out_.bytes.empty() || out_.flood.empty()) return;
    if (Clock::now() >= out_.flood_end) {
      out_.bytes.insert(out_.bytes.end(), out_.after_flood.begin(), out_.after_flood.end());
      out_.flood.clear();
      return;
    }
    while (out_.bytes.size() < 4096) out_.bytes.insert(out_.bytes.end(), out_.flood.begin(), out_.flood.end());
  }

  void release_later() {
    const auto now = Clock::now();
    while (!out_.later.empty() && out_.later.front().first <= now) {
      if (out_.bytes.empty()) out_.next_send = std::max(out_.next_send, out_.later.front().first);
      out_.bytes.insert(out_.bytes.end(), out_.later.front().second.begin(), out_.later.front().second.end());
      out_.later.pop_front();
    }
  }

  Clock::duration byte_time() const {
    if (fast_) return Clock::duration::zero();
    unsigned baud = port_.baud_rate();
    if (baud == 0) baud = 19200;  // a rate termios cannot name: pace as the program's default
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(port_.bits_per_byte()) / baud));
  }

  void send_due() {
    // A flood that the program reads as fast as it comes would keep this loop
    // going for ever: a round of at most 4096 bytes lets requests and the
    // port's opening and closing be seen in between.
    // Without pauses between bytes they go out as many at a time as the line
    // takes, so that a flood comes faster than any reader takes it.
    const bool at_once = byte_time() == Clock::duration::zero() && out_.gap == std::chrono::milliseconds::zero();
    for (int sent = 0; sent < 4096 && !blocked_ && Clock::now() >= out_.next_send; ++sent) {
      refill();
      if (out_.bytes.empty()) return;
      char chunk[4096];
      const std::size_t count = at_once ? std::min(out_.bytes.size(), sizeof chunk) : 1;
      std::copy_n(out_.bytes.begin(), count, chunk);
      const ssize_t put = write(port_.master(), chunk, count);
      if (put <= 0) {
        blocked_ = put < 0 && errno == EAGAIN;  // the program is not reading: wait for room
        if (!blocked_) {                        // nobody at the other end: drop the answer
          out_.bytes.clear();
          out_.flood.clear();
        }
        return;
      }
      out_.bytes.erase(out_.bytes.begin(), out_.bytes.begin() + put);
      out_.next_send += byte_time() + out_.gap;
    }
  }

  PtyPort& port_;
  PortWatch& watch_;
  Interface& interface_;
  RequestLog& log_;
  bool fast_;
  std::string request_;
  Outgoing out_;
  bool blocked_ = false;
  bool port_open_ = false;
};

// The time between an unplug and the next plug; false when a stop signal came.
bool stay_away(std::chrono::milliseconds time, const sigset_t& unblocked) {
  const auto until = Clock::now() + time;
  while (!stop_requested && Clock::now() < until) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    ppoll(nullptr, 0, &timeout, &unblocked);
  }
  return !stop_requested;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::vector<std::string> words = split_assignments(argc, argv);
    std::vector<char*> arguments;
    for (std::string& word : words) arguments.push_back(word.data());
    const Options options = parse_options(static_cast<int>(arguments.size()), arguments.data());

    // Signals are only taken inside ppoll, so a stop request is never lost
    // between the check and the wait.
    sigset_t stopping;
    sigemptyset(&stopping);
    sigaddset(&stopping, SIGINT);
    sigaddset(&stopping, SIGTERM);
    sigaddset(&stopping, SIGHUP);
    sigset_t unblocked;
    sigprocmask(SIG_BLOCK, &stopping, &unblocked);
    struct sigaction action {};
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    RequestLog log;
    if (!options.log.empty() && !log.open(options.log)) {
      throw std::runtime_error("cannot open the log " + options.log + ": " + std::strerror(errno));
    }
    TranscriptWriter record;
    if (!options.record.empty() && !record.open(options.record, "velmorant-sim tap " + options.tap)) {
      throw std::runtime_error("cannot write the record " + options.record + ": " + std::strerror(errno));
    }
    for (;;) {
      // Each plug is a new interface on a new terminal, watched before it is
      // linked, so that no opening of it goes unseen. A transcript is read
      // whole before the port appears: a malformed one is refused with
      // nothing served.
      std::unique_ptr<Interface> interface =
          options.replay.empty() ? find_scenario(options.scenario)->make(options.scenario_options)
                                 : Replay::load(options.replay, options.replay_timing.value_or(ReplayTiming::LineRate));
      PtyPort port;
      std::unique_ptr<Tap> tap;
      PortWatch watch(port.device_path());
      if (!options.tap.empty()) tap = std::make_unique<Tap>(port, watch, options.tap, record);
      if (!options.link.empty()) port.link_as(options.link);

      const std::string source = !options.replay.empty() ? "replay " + options.replay
                                 : tap                   ? "tap " + options.tap
                                                         : options.scenario;
      std::cout << "velmorant-sim: scenario " << source << ", port " << port.port_name();
      if (!options.link.empty()) std::cout << ", also " << options.link << " (" << port.link_path() << ")";
      std::cout << std::endl;

      if (tap) {
        tap->run(stop_requested, unblocked);
        port.hang_up();
        return 0;
      }
      // At the recorded timing the recorded pieces already hold the line's time.
      const bool fast = options.fast || options.replay_timing == ReplayTiming::Recorded;
      Simulator(port, watch, *interface, log, fast).run(unblocked);
      if (stop_requested || !options.replug_after) {
        port.hang_up();
        return 0;
      }
      log.note("hung up");
      port.hang_up();
      if (!stay_away(*options.replug_after, unblocked)) return 0;
      log.note("back");
    }
  } catch (const std::invalid_argument& error) {
    std::cerr << "velmorant-sim: " << error.what() << "\n(velmorant-sim --help lists the options)" << std::endl;
    return 2;
  } catch (const std::exception& error) {
    std::cerr << "velmorant-sim: " << error.what() << std::endl;
    return 1;
  }
}
