#include "simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

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
  void run(const volatile sig_atomic_t& stop_requested, const sigset_t& unblocked) {
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

}  // namespace

void serve_interface(PtyPort& port, PortWatch& watch, Interface& interface, RequestLog& log, bool fast,
                     const volatile sig_atomic_t& stop, const sigset_t& unblocked) {
  Simulator(port, watch, interface, log, fast).run(stop, unblocked);
}

bool stay_away(std::chrono::milliseconds time, const volatile sig_atomic_t& stop_requested, const sigset_t& unblocked) {
  const auto until = Clock::now() + time;
  while (!stop_requested && Clock::now() < until) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until - Clock::now()).count();
    const timespec timeout{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    ppoll(nullptr, 0, &timeout, &unblocked);
  }
  return !stop_requested;
}
