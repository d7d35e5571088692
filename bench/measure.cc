// Runs a program once and prints what run_bench.sh needs of it, on one
// line: wall nanoseconds, peak resident KiB and processor seconds (user and
// system, its waited-for children included), to the microsecond where
// /usr/bin/time gives hundredths.
//
// usage: measure STDOUT STDERR PROGRAM [ARGUMENT...]
// The program's standard output and error go to the two files. The exit
// status is the program's (a failed run is still measured and printed).

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace {

int64_t nowNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

bool redirect(const char* path, int target) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::dup2(fd, target) >= 0;
  ::close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: measure STDOUT STDERR PROGRAM [ARGUMENT...]\n");
    return 2;
  }
  int64_t start = nowNanoseconds();
  pid_t child = ::fork();
  if (child < 0) {
    std::perror("fork");
    return 1;
  }
  if (child == 0) {
    if (!redirect(argv[1], 1) || !redirect(argv[2], 2)) _exit(126);
    ::execvp(argv[3], argv + 3);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (::wait4(child, &status, 0, &usage) < 0) {
    std::perror("wait4");
    return 1;
  }
  int64_t wall = nowNanoseconds() - start;
  std::printf("%lld %ld %.6f\n", static_cast<long long>(wall), usage.ru_maxrss,
              seconds(usage.ru_utime) + seconds(usage.ru_stime));
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
