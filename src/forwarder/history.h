// Earlier versions of the forwarder configuration file, kept byte for byte in
// a folder of their own: one file per version and an index that describes
// them, newest first.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "utils/json.h"
#include "utils/logger.h"

namespace nc {

// Twenty versions reach back over weeks of changes on a gateway that is set up
// once and tuned now and then; 2 MiB keeps the folder small on the gateway's
// flash, where a forwarder file takes 5 to 20 KiB.
constexpr size_t maxHistoryVersions = 20;
constexpr uint64_t maxHistoryBytes = 2 * 1024 * 1024;

// The member list of a change that replaced the whole document rather than
// members of it (one side is not an object, or was not valid JSON).
constexpr std::string_view wholeDocument = "*";

class UnknownVersionError : public std::runtime_error {
 public:
  explicit UnknownVersionError(int64_t id)
      : std::runtime_error("There is no version " + std::to_string(id) + " in the history") {}
};

// How the change that replaced a version ended.
enum class ApplyOutcome {
  held,        // the forwarder stayed up on the new file
  saved,       // written with no unit to restart
  rolledBack,  // the version's own text was put back
  failed,      // it did not hold, and putting the version back failed too
};

// What is known about the change that replaced a version.
struct ChangeNote {
  std::string time;                   // ISO-8601 UTC
  std::string account;                // who made the change
  std::vector<std::string> paths;     // members it touched, two levels deep ("gateway_conf.server_address")
  std::optional<int64_t> restoredFrom;  // set when the change restored a version
  // Unknown while the change runs, and for versions kept by earlier builds or
  // by a process stopped in the middle of a change.
  std::optional<ApplyOutcome> outcome;
};

struct HistoryVersion {
  int64_t id = 0;
  uint64_t size = 0;      // bytes of the kept file
  bool factory = false;   // kept before the first change ever made; never dropped
  bool validJson = false; // only valid JSON can be restored
  ChangeNote change;
};

// `<folder of the account database>/forwarder-history`.
std::string historyFolderFor(const std::string& databasePath);

// Removes what a process killed while keeping a version left in `folder`:
// temporary copies of the index or of a version file, by the rule of
// removeStaleTemporaryFilesIn. Without them, such files would fill the
// folder's bound, which counts kept versions only.
void removeStaleHistoryFiles(const std::string& folder, Logger& log,
                             std::chrono::system_clock::time_point now = std::chrono::system_clock::now());

// Takes group and other permissions from an existing history folder and from
// the files in it (symbolic links left alone), the folder first, with one line
// on `log` for each it changes.
void keepHistoryPrivate(const std::string& folder, Logger& log);

// Newest first; empty when nothing was kept yet. Raises when the index cannot
// be read.
std::vector<HistoryVersion> listVersions(const std::string& folder);

// The kept bytes of version `id`; UnknownVersionError when there is none.
std::string versionText(const std::string& folder, int64_t id);

// Keeps `text` as the newest version, creating the folder (mode 0700) when
// missing, then drops versions beyond the bounds. The version file and the
// index are each written atomically, the version first, so a failure at any
// step leaves the history as it was. Raises std::system_error.
HistoryVersion keepVersion(const std::string& folder, const std::string& text, ChangeNote note);

// Records how the change that replaced version `id` ended, rewriting the index
// atomically; a version no longer kept is left alone. Raises std::system_error.
void noteOutcome(const std::string& folder, int64_t id, ApplyOutcome outcome);

// The versions that stay within `maxVersions` and `maxBytes`, oldest dropped
// first. The newest and the factory version always stay, even beyond the
// bounds.
std::vector<HistoryVersion> versionsWithinBounds(std::vector<HistoryVersion> newestFirst, size_t maxVersions,
                                                 uint64_t maxBytes);

// The members that differ between the documents (added, removed or changed),
// in the order of `after` and then of `before`; where both sides of a member
// are objects, its differing members instead, as "member.inner". The operator
// learns which setting changed without the paths growing as deep as the file.
// [wholeDocument] when `before` is missing (not valid JSON) or either is not an
// object.
std::vector<std::string> changedMembers(const JsonValue* before, const JsonValue& after);

JsonValue versionJson(const HistoryVersion& version);

}  // namespace nc
