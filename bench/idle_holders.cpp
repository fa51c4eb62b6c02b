// idle_holders COUNT FILES: starts COUNT idle processes that hold FILES open
// descriptors each (of /dev/null), as a busy machine has them, prints
// "ready" and keeps them until its standard input closes or it is ended by
// a signal; then ends every one of them.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

volatile sig_atomic_t ending = 0;
void on_signal(int) { ending = 1; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: idle_holders COUNT FILES\n");
    return 2;
  }
  const int count = std::atoi(argv[1]);
  const int files = std::atoi(argv[2]);
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  std::vector<pid_t> children;
  for (int i = 0; i < count && !ending; ++i) {
    const pid_t child = fork();
    if (child < 0) break;
    if (child == 0) {
      signal(SIGTERM, SIG_DFL);
      for (int n = 0; n < files; ++n) open("/dev/null", O_RDONLY);
      // Ends with its parent, whatever ends that.
      if (getppid() == 1) _exit(0);
      for (;;) pause();
    }
    children.push_back(child);
  }
  std::printf("ready %zu\n", children.size());
  std::fflush(stdout);
  char c;
  while (!ending && read(STDIN_FILENO, &c, 1) > 0) {
  }
  for (pid_t child : children) kill(child, SIGKILL);
  for (pid_t child : children) waitpid(child, nullptr, 0);
  return 0;
}
