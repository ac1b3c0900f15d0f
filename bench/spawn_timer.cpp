// Runs two programs on one file, side by side, as whole processes, and
// prints the wall time and peak memory of every run:
//
//   asm2pas_spawn_timer ROUNDS FILE PROG_A PROG_B [OPTION_B]
//
// Each round runs "PROG_A FILE" and "PROG_B [OPTION_B] FILE" (the order alternating
// from round to round) with standard output and error on /dev/null. One
// line per run: "A|B WALL_NS MAXRSS_KB STATUS".
//
// The timing lives in this small process rather than in the script that
// drives the benchmark: a child's max RSS as wait4 reports it is never
// below the resident size of the process that spawned it, so the spawner
// must be small for the figure to be the program's own.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

struct Run {
  long long WallNs = 0;
  long MaxRssKb = 0;
  int Status = -1;
};

long long Now() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

bool RunOnce(const char* prog, const char* option, const char* file, int devnull, Run& run) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, devnull, 1);
  posix_spawn_file_actions_adddup2(&actions, devnull, 2);
  char* argv[] = {const_cast<char*>(prog), const_cast<char*>(option ? option : file),
                  option ? const_cast<char*>(file) : nullptr, nullptr};
  long long start = Now();
  pid_t pid = 0;
  int err = posix_spawn(&pid, prog, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return false;
  int status = 0;
  rusage usage{};
  // Ends: wait4 returns once the child has exited; an interrupted wait is
  // retried.
  while (wait4(pid, &status, 0, &usage) < 0) {
  }
  run.WallNs = Now() - start;
  run.MaxRssKb = usage.ru_maxrss;
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: %s ROUNDS FILE PROG_A PROG_B [OPTION_B]\n", argv[0]);
    return 2;
  }
  const char* option_b = argc == 6 ? argv[5] : nullptr;
  int rounds = std::atoi(argv[1]);
  const char* file = argv[2];
  const char* progs[2] = {argv[3], argv[4]};
  int devnull = open("/dev/null", O_WRONLY);
  if (devnull < 0) {
    std::perror("/dev/null");
    return 2;
  }
  // Ends: a fixed number of rounds of two runs each.
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < 2; ++k) {
      int which = r % 2 == 0 ? k : 1 - k;
      Run run;
      if (!RunOnce(progs[which], which == 1 ? option_b : nullptr, file, devnull, run)) {
        std::fprintf(stderr, "cannot start %s\n", progs[which]);
        return 2;
      }
      std::printf("%c %lld %ld %d\n", which == 0 ? 'A' : 'B', run.WallNs, run.MaxRssKb,
                  run.Status);
    }
  }
  close(devnull);
  return 0;
}
