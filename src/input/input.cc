#include "input/input.h"

#include <algorithm>
#include <vector>

#include "input/exclude.h"
#include "input/match.h"
#include "platform/directory.h"

namespace {

// One walk, from an argument down to the directory being scanned.
struct Walk {
  const ListedFileVisitor& visitFile;
  // Banners are left out and warnings go to standard error.
  bool terse = false;
  // -maildir: Maildirs are walked as mail clients see them.
  bool maildir = false;
  // -exclude: the names that leave an entry out, unseen.
  const std::vector<std::string>& exclude;
  // -summary: hidden folders passed over are counted, which costs a status
  // query each, so only then.
  bool countHidden = false;
  // A listed entry that the listing calls a regular file is handed on
  // unqueried (PathStatus::deferred), for its reader to query.
  bool defersFiles = false;
  // Where the banners and warnings go.
  Output& output;
  RunTally& tally;
  // The directories from the argument down to the current one. A link back
  // to one of them would make the walk endless; one reached by another
  // route that leads no deeper into itself is walked again as usual.
  std::vector<FileIdentity> enclosing;
};

void walkDirectory(Walk& walk, std::string_view directory, std::string_view pattern);

bool isEnclosing(const Walk& walk, const FileIdentity& identity) {
  return std::find(walk.enclosing.begin(), walk.enclosing.end(), identity) != walk.enclosing.end();
}

// Hands the file at `path` to the visitor, or walks it when it is a
// directory, by the status just queried; `listed` is where a listing found
// it, if one did.
void walkFound(Walk& walk, const std::string& path, const std::optional<PathStatus>& status,
               const ListedEntry* listed) {
  if (!status) {
    reportUnreachable(path, walk.terse, walk.output, walk.tally);
    return;
  }
  if (!status->isDirectory) {
    walk.visitFile(path, *status, listed);
    return;
  }
  if (isEnclosing(walk, status->identity)) return;
  walk.enclosing.push_back(status->identity);
  walkDirectory(walk, path, "*");
  walk.enclosing.pop_back();
}

void walkPath(Walk& walk, const std::string& path) {
  walkFound(walk, path, queryStatus(path), nullptr);
}

// An entry of a listing, whose path is `path`: its status is queried
// through the listing, which spares the kernel the lookup of every
// directory of the path once more for each file of a tree.
void walkEntry(Walk& walk, const ListedEntry& entry, const std::string& path, bool regular) {
  if (regular && walk.defersFiles) {
    PathStatus status;
    status.isRegular = true;
    status.deferred = true;
    walk.visitFile(path, status, &entry);
    return;
  }
  walkFound(walk, path, queryStatus(entry), &entry);
}

void announce(const Walk& walk, std::string_view directory, std::string_view pattern) {
  if (walk.terse) return;
  if (pattern == "*") {
    walk.output.progress({directory, "/\n"});
  } else {
    walk.output.progress({directory, "/", pattern, "\n"});
  }
}

bool isDirectory(const std::string& path) {
  std::optional<PathStatus> status = queryStatus(path);
  return status && status->isDirectory;
}

// A Maildir is a directory that holds the directory cur or new. The empty
// tmp, and often the other one, are lost wherever empty folders are not
// kept (backups, version control); either one is enough. `path` ends in a
// "/".
bool holdsMaildir(std::string path) {
  size_t end = path.size();
  for (const char* part : {"cur", "new"}) {
    path.resize(end);
    path += part;
    if (isDirectory(path)) return true;
  }
  return false;
}

// What -maildir changes in a listing: a Maildir's tmp holds messages still
// being delivered, and is left out; its Maildir++ folders (.Sent,
// .Archive.2019) are hidden but hold mail, and are walked. Each question
// costs status queries, so it is asked only of entries it can concern, and
// whether the listed directory is a Maildir only once.
struct MaildirRules {
  std::string_view directory;
  std::optional<bool> isMaildir;

  bool listedIsMaildir() {
    if (!isMaildir) isMaildir = holdsMaildir(std::string(directory) + "/");
    return *isMaildir;
  }
  bool skips(std::string_view name) { return name == "tmp" && listedIsMaildir(); }
  bool walksHidden(std::string_view name, const std::string& path) {
    return name.size() > 1 && name[0] == '.' && listedIsMaildir() && holdsMaildir(path + "/");
  }
};

// An entry the walk passed over only because its name is hidden: the
// pattern takes it once the rule for hidden names is set aside. Counted
// when it is a folder, so that no mail folder disappears without a figure.
void noteHidden(Walk& walk, const ListedEntry& entry, std::string_view pattern) {
  std::string_view name = entry.name;
  if (!walk.countHidden || name[0] != '.' || !matchName(name, pattern, 1)) return;
  std::optional<PathStatus> status = queryStatus(entry);
  if (status && status->isDirectory) ++walk.tally.hiddenFolders;
}

void walkEntries(Walk& walk, DirectoryListing listing, std::string_view directory,
                 std::string_view pattern) {
  // Paths are joined with "/" even after a directory that already ends in a
  // separator: the path stays exactly as the user's text built it.
  std::string path(directory);
  path += '/';
  size_t nameStart = path.size();
  MaildirRules maildir{directory, {}};
  bool regular = false;
  while (std::optional<std::string_view> name = nextEntry(listing, &regular)) {
    if (*name == "." || *name == "..") continue;
    bool matched = matchName(*name, pattern, 0);
    bool hiddenChance = !matched && (walk.countHidden || (walk.maildir && pattern == "*"));
    if (!matched && !hiddenChance) continue;
    path.resize(nameStart);
    path += *name;
    bool walked = matched;
    if (walk.maildir) {
      walked = matched ? !maildir.skips(*name) : pattern == "*" && maildir.walksHidden(*name, path);
    }
    ListedEntry entry{listing, *name, path};
    if (!walked) {
      if (!matched) noteHidden(walk, entry, pattern);
      continue;
    }
    // The name alone decides: a left-out entry is neither queried nor read.
    if (excludesName(*name, walk.exclude)) {
      ++walk.tally.excluded;
      continue;
    }
    walkEntry(walk, entry, path, regular);
  }
}

void walkDirectory(Walk& walk, std::string_view directory, std::string_view pattern) {
  // The banner comes first, so a directory that cannot be listed is still
  // named once before the warning about it.
  announce(walk, directory, pattern);
  std::optional<DirectoryListing> listing = openDirectory(directory);
  if (!listing) {
    ++walk.tally.unreadable;
    walk.output.warning(walk.terse, {"Unable to read directory ", directory, "\n"});
    return;
  }
  walkEntries(walk, *listing, directory, pattern);
  closeDirectory(*listing);
}

// Where the argument splits into its directory and name parts: the last
// backslash, slash or colon, or npos when it has none.
size_t lastSeparator(std::string_view argument) {
  return argument.find_last_of("\\/:");
}

// A walk from an argument, with the run's settings.
Walk startWalk(const RunOptions& options, Output& output, RunTally& tally,
               const ListedFileVisitor& visitFile, ListedFiles files) {
  return Walk{visitFile,       options.terse,   options.maildir,
              options.exclude, options.summary, files == ListedFiles::deferred,
              output,          tally,           {}};
}

// Hands `path` to the visitor, or walks it when it is a directory. A path
// that cannot be reached is reported and skipped.
void processPath(std::string_view path, const RunOptions& options, Output& output, RunTally& tally,
                 const ListedFileVisitor& visitFile, ListedFiles files) {
  Walk walk = startWalk(options, output, tally, visitFile, files);
  walkPath(walk, std::string(path));
}

// Announces `directory` and handles each of its entries whose name matches
// `pattern`, depth-first, in the order the listing yields them.
void scanDirectory(std::string_view directory, std::string_view pattern, const RunOptions& options,
                   Output& output, RunTally& tally, const ListedFileVisitor& visitFile,
                   ListedFiles files) {
  Walk walk = startWalk(options, output, tally, visitFile, files);
  // The scanned directory encloses everything below it; a link back to it
  // must be caught as early as one to any directory below.
  std::optional<PathStatus> status = queryStatus(directory);
  if (status && status->isDirectory) walk.enclosing.push_back(status->identity);
  walkDirectory(walk, directory, pattern);
}

}  // namespace

void reportUnreachable(std::string_view path, bool terse, Output& output, RunTally& tally) {
  ++tally.unreadable;
  output.warning(terse, {"Unable to read file ", path, "\n"});
}

void processArgument(std::string_view argument, const RunOptions& options, Output& output,
                     RunTally& tally, const ListedFileVisitor& visitFile, ListedFiles files) {
  size_t separator = lastSeparator(argument);
  std::string_view directory;
  std::string_view name = argument;
  if (separator != std::string_view::npos) {
    // A lone leading separator stays: "/" and "/x*" name the root, not the
    // current directory.
    directory = argument.substr(0, separator == 0 ? 1 : separator);
    name = argument.substr(separator + 1);
  }
  if (directory.empty()) directory = ".";
  if (name.empty()) name = "*";
  bool isPattern = name.find('*') != std::string_view::npos;
  // -exclude looks at the argument's parts as typed: its directory part,
  // and its last part unless that is a pattern for the entries.
  if (excludesAnyPart(isPattern ? directory : argument, options.exclude)) {
    ++tally.excluded;
    return;
  }
  if (isPattern) {
    scanDirectory(directory, name, options, output, tally, visitFile, files);
  } else {
    processPath(argument, options, output, tally, visitFile, files);
  }
}

void processArgument(std::string_view argument, const RunOptions& options, Output& output,
                     RunTally& tally, const FileVisitor& visitFile, ListedFiles files) {
  ListedFileVisitor visitListed = [&visitFile](const std::string& path, const PathStatus& status,
                                               const ListedEntry*) { visitFile(path, status); };
  processArgument(argument, options, output, tally, visitListed, files);
}
