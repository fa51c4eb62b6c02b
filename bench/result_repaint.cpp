// The CPU time the program's window spends on one change of the result text,
// the work a polling cycle adds to reading the line when the speed changes:
// the text is set, and the window is served until no event is left (the
// repaint, the copy to the display and the flush). Between two changes the
// thread sleeps as long as a polling cycle does, so that each change finds
// its caches as cold as the program finds them. For comparison, the same
// serve with nothing to repaint. Needs an X display; nothing is asserted.
//   result_repaint [CHANGES [PAUSE_MICROSECONDS]]     defaults: 200 100000
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "events.h"
#include "gadgets.h"
#include "main_window.h"

namespace {

double thread_cpu_microseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

void serve_ready_events() {
  while (event_poll() != EV_NONE) {
  }
}

template <typename Work>
double cpu_of(Work work) {
  const double start = thread_cpu_microseconds();
  work();
  return thread_cpu_microseconds() - start;
}

void report(const char* what, std::vector<double> costs) {
  std::sort(costs.begin(), costs.end());
  std::printf("%-28s median %7.1f us   90th percentile %7.1f us\n", what, costs[costs.size() / 2],
              costs[costs.size() * 9 / 10]);
}

}  // namespace

int main(int argc, char** argv) {
  const int changes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const useconds_t pause = argc > 2 ? static_cast<useconds_t>(std::atoi(argv[2])) : 100000;
  start_support_layers();
  if (!build_main_window()) {
    std::fprintf(stderr, "result_repaint: the window could not be opened\n");
    return 1;
  }
  // The window is mapped and painted once before anything is measured.
  for (int i = 0; i < 50; ++i) {
    serve_ready_events();
    usleep(10000);
  }
  std::vector<double> repaint, idle;
  for (int i = 0; i < changes; ++i) {
    usleep(pause);
    idle.push_back(cpu_of(serve_ready_events));
    usleep(pause);
    const std::string speed = std::to_string(i % 256) + " km/h";
    repaint.push_back(cpu_of([&] {
      set_gadget_text(GADGET_RESULT, speed.c_str());
      serve_ready_events();
    }));
  }
  report("result changed and served", repaint);
  report("served, nothing to do", idle);
  stop_support_layers();
  return 0;
}
