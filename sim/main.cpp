// velmorant-sim: a pseudo-terminal that answers like the Velmorant interface.
// The entry wires the pieces together: the options, the stop signals, the log
// or record, and for each plug of the interface a new terminal, served by the
// simulator (or passed through to a real interface by the tap).
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>

#include "options.h"
#include "port_watch.h"
#include "pty_port.h"
#include "replay.h"
#include "request_log.h"
#include "scenario.h"
#include "simulator.h"
#include "tap.h"

namespace {

volatile sig_atomic_t stop_requested = 0;

void request_stop(int) { stop_requested = 1; }

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options options = read_options(argc, argv);

    // The files first, none of which waits: a FIFO or device named for any
    // of them is refused before the stop signals are blocked.
    if (!options.replay.empty()) Replay::check_file(options.replay);
    RequestLog log;
    if (!options.log.empty()) {
      const std::string refusal = log.open(options.log);
      if (!refusal.empty()) throw std::runtime_error(refusal_sentence("cannot open", "the log", options.log, refusal));
    }
    TranscriptWriter record;
    std::string refusal;
    if (!options.record.empty() && !record.open(options.record, "velmorant-sim tap " + options.tap, &refusal)) {
      throw std::runtime_error(refusal_sentence("cannot write", "the record", options.record, refusal));
    }
    record.on_failure([&options](const std::string& problem) {
      std::cerr << "velmorant-sim: Record stopped: cannot write " << options.record << ": " << problem << std::endl;
    });

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
      serve_interface(port, watch, *interface, log, fast, stop_requested, unblocked);
      if (stop_requested || !options.replug_after) {
        port.hang_up();
        return 0;
      }
      log.note("hung up");
      port.hang_up();
      if (!stay_away(*options.replug_after, stop_requested, unblocked)) return 0;
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
