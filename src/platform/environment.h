// The run's environment variables.

#ifndef VARNAK_PLATFORM_ENVIRONMENT_H_
#define VARNAK_PLATFORM_ENVIRONMENT_H_

#include <optional>
#include <string>

// The value of the environment variable `name`; empty when it is not set.
std::optional<std::string> environmentValue(const char* name);

#endif  // VARNAK_PLATFORM_ENVIRONMENT_H_
