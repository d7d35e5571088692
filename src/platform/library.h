// Shared libraries loaded while the program runs, for code that only some
// runs need.

#ifndef VARNAK_PLATFORM_LIBRARY_H_
#define VARNAK_PLATFORM_LIBRARY_H_

#include <string>

// The library `soname` (found as the dynamic linker finds the libraries a
// program needs), loaded with everything it needs in turn. It stays loaded
// until the program ends: loading it again only finds it. Returns nullptr,
// with the loader's words in `error`, where it cannot be loaded.
void* loadLibrary(const char* soname, std::string* error);

// The address of the function `name` in a loaded library, or nullptr.
void* librarySymbol(void* library, const char* name);

#endif  // VARNAK_PLATFORM_LIBRARY_H_
