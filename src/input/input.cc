#include "input/input.h"

// Stand-in until the directory walk exists: no argument yields a file yet.
void processArgument(std::string_view, const FileVisitor&) {}
