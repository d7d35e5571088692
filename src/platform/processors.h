// How many processors the run may use.

#ifndef VARNAK_PLATFORM_PROCESSORS_H_
#define VARNAK_PLATFORM_PROCESSORS_H_

// The processors this process may run on (its affinity mask, which taskset
// and container limits narrow), at least 1.
int usableProcessors();

#endif  // VARNAK_PLATFORM_PROCESSORS_H_
