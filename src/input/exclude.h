// -exclude: the paths, folders and archive entries the user leaves out.

#ifndef VARNAK_INPUT_EXCLUDE_H_
#define VARNAK_INPUT_EXCLUDE_H_

#include <string>
#include <string_view>
#include <vector>

// Whether the one name `name` (an entry of a directory, a part of a path)
// matches one of `patterns` with the walk's wildcard matcher. Unlike a path
// pattern, "*" here also matches a name that begins with "." (a Maildir++
// folder such as .Trash is as much a folder the user may want out), and
// "." and ".." never match, so that "./mail" is not left out by ".*".
bool excludesName(std::string_view name, const std::vector<std::string>& patterns);

// Whether one of the parts of `path` between "/" is excluded so: for the
// directory part of an argument as typed, and for an archive entry's name.
bool excludesAnyPart(std::string_view path, const std::vector<std::string>& patterns);

#endif  // VARNAK_INPUT_EXCLUDE_H_
