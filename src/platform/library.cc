#include "platform/library.h"

#include <dlfcn.h>

void* loadLibrary(const char* soname, std::string* error) {
  // Every symbol bound now: a library missing one fails here, not at a
  // call in the middle of a run.
  void* library = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* text = ::dlerror();
    *error = text != nullptr ? text : "cannot be loaded";
  }
  return library;
}

void* librarySymbol(void* library, const char* name) {
  return ::dlsym(library, name);
}
