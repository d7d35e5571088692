#include "platform/processors.h"

#include <sched.h>

#include <thread>

int usableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  // Without a mask (a kernel that refuses the call), the machine's count.
  unsigned machine = std::thread::hardware_concurrency();
  return machine > 0 ? static_cast<int>(machine) : 1;
}
