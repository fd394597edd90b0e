#include "src/forwarder/history.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <numeric>
#include <system_error>

#include "src/forwarder/atomic_file.h"
#include "src/forwarder/stale_temp_files.h"
#include "utils/private_mode.h"

namespace nc {
namespace {

constexpr const char* historyFolderName = "forwarder-history";
constexpr const char* indexName = "index.json";
// The history holds earlier configurations, which may carry server keys: the
// service's account alone reads it.
constexpr mode_t folderMode = 0700;
constexpr mode_t fileMode = 0600;

constexpr std::string_view versionPrefix = "version-";
constexpr std::string_view versionSuffix = ".json";

std::string versionPath(const std::string& folder, int64_t id) {
  return folder + "/" + std::string(versionPrefix) + std::to_string(id) + std::string(versionSuffix);
}

// The names this history writes: the index and "version-N.json".
bool isHistoryFileName(std::string_view name) {
  if (name == indexName) return true;
  const size_t affixes = versionPrefix.size() + versionSuffix.size();
  if (name.size() <= affixes || !name.starts_with(versionPrefix) || !name.ends_with(versionSuffix)) return false;
  const std::string_view number = name.substr(versionPrefix.size(), name.size() - affixes);
  return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string indexPath(const std::string& folder) { return folder + "/" + indexName; }

void ensureFolder(const std::string& folder) {
  if (::mkdir(folder.c_str(), folderMode) == 0) return;
  int error = errno;
  struct stat info {};
  if (error == EEXIST && ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return;
  throw std::system_error(error == EEXIST ? ENOTDIR : error, std::generic_category(), "cannot create " + folder);
}

constexpr std::array<std::pair<ApplyOutcome, std::string_view>, 4> outcomeNames{{
    {ApplyOutcome::held, "held"},
    {ApplyOutcome::saved, "saved"},
    {ApplyOutcome::rolledBack, "rolledBack"},
    {ApplyOutcome::failed, "failed"},
}};

std::string_view outcomeName(ApplyOutcome outcome) {
  return std::find_if(outcomeNames.begin(), outcomeNames.end(), [&](const auto& name) { return name.first == outcome; })
      ->second;
}

// A name a later build may add is read as not known rather than as damage.
std::optional<ApplyOutcome> outcomeNamed(std::string_view text) {
  auto found =
      std::find_if(outcomeNames.begin(), outcomeNames.end(), [&](const auto& name) { return name.second == text; });
  if (found == outcomeNames.end()) return std::nullopt;
  return found->first;
}

JsonValue changeJson(const ChangeNote& note) {
  JsonArray paths(note.paths.begin(), note.paths.end());
  JsonObject json{{"time", note.time}, {"account", note.account}, {"paths", JsonValue(std::move(paths))}};
  if (note.restoredFrom) json.set("restoredFrom", *note.restoredFrom);
  if (note.outcome) json.set("outcome", std::string(outcomeName(*note.outcome)));
  return JsonValue(std::move(json));
}

HistoryVersion versionOfJson(const JsonValue& json) {
  const JsonObject& object = json.asObject();
  HistoryVersion version;
  version.id = object.at("id").asInt();
  version.size = static_cast<uint64_t>(object.at("size").asInt());
  version.factory = object.at("factory").asBool();
  version.validJson = object.at("valid").asBool();
  version.change.time = object.at("time").asString();
  version.change.account = object.at("account").asString();
  for (const JsonValue& path : object.at("paths").asArray()) version.change.paths.push_back(path.asString());
  if (const JsonValue* from = object.find("restoredFrom")) version.change.restoredFrom = from->asInt();
  if (const JsonValue* outcome = object.find("outcome")) version.change.outcome = outcomeNamed(outcome->asString());
  return version;
}

void writeIndex(const std::string& folder, const std::vector<HistoryVersion>& versions) {
  JsonArray list;
  for (const auto& version : versions) list.push_back(versionJson(version));
  writeFileAtomically(indexPath(folder), toPrettyJson(JsonValue(JsonObject{{"versions", std::move(list)}})), fileMode);
}

bool isValidJson(const std::string& text) {
  try {
    parseJson(text);
    return true;
  } catch (const JsonParseError&) {
    return false;
  }
}

// Equal values, objects compared without regard to member order: a merge
// moves the members it touches to the end, which changes nothing they hold.
bool sameContent(const JsonValue& a, const JsonValue& b) {
  if (a.isObject() && b.isObject()) {
    const JsonObject& left = a.asObject();
    const JsonObject& right = b.asObject();
    if (left.size() != right.size()) return false;
    return std::all_of(left.begin(), left.end(), [&](const auto& member) {
      const JsonValue* other = right.find(member.first);
      return other != nullptr && sameContent(member.second, *other);
    });
  }
  if (a.isArray() && b.isArray()) {
    const JsonArray& left = a.asArray();
    const JsonArray& right = b.asArray();
    return std::equal(left.begin(), left.end(), right.begin(), right.end(), sameContent);
  }
  return a == b;
}

// Members added, removed or changed, in the order of `now` and then of `old`.
std::vector<std::string> differingKeys(const JsonObject& old, const JsonObject& now) {
  std::vector<std::string> differing;
  for (const auto& [key, value] : now) {
    const JsonValue* oldValue = old.find(key);
    if (oldValue == nullptr || !sameContent(*oldValue, value)) differing.push_back(key);
  }
  for (const auto& [key, value] : old)
    if (!now.contains(key)) differing.push_back(key);
  return differing;
}

uint64_t totalSize(const std::vector<HistoryVersion>& versions) {
  return std::accumulate(versions.begin(), versions.end(), uint64_t{0},
                         [](uint64_t sum, const HistoryVersion& version) { return sum + version.size; });
}

}  // namespace

std::string historyFolderFor(const std::string& databasePath) {
  auto slash = databasePath.rfind('/');
  if (slash == std::string::npos) return historyFolderName;
  return databasePath.substr(0, slash + 1) + historyFolderName;
}

void removeStaleHistoryFiles(const std::string& folder, Logger& log, std::chrono::system_clock::time_point now) {
  removeStaleTemporaryFilesIn(folder, isHistoryFileName, log, now);
}

void keepHistoryPrivate(const std::string& folder, Logger& log) {
  // The folder first: once it is private, nobody else can add an entry while
  // its files are looked at.
  makePrivate(folder, log);
  std::error_code unreadable;
  for (const auto& entry : std::filesystem::directory_iterator(folder, unreadable))
    makePrivate(entry.path().string(), log, LinkRule::leave);
}

std::vector<HistoryVersion> listVersions(const std::string& folder) {
  std::string text;
  try {
    text = readWholeFile(indexPath(folder));
  } catch (const std::system_error& e) {
    if (e.code() == std::errc::no_such_file_or_directory) return {};
    throw;
  }
  std::vector<HistoryVersion> versions;
  try {
    JsonValue index = parseJson(text);
    for (const JsonValue& entry : index.asObject().at("versions").asArray()) versions.push_back(versionOfJson(entry));
  } catch (const std::exception& e) {
    throw std::runtime_error("the history index " + indexPath(folder) + " is damaged: " + e.what());
  }
  return versions;
}

std::string versionText(const std::string& folder, int64_t id) {
  auto versions = listVersions(folder);
  if (std::none_of(versions.begin(), versions.end(), [id](const auto& version) { return version.id == id; }))
    throw UnknownVersionError(id);
  return readWholeFile(versionPath(folder, id));
}

HistoryVersion keepVersion(const std::string& folder, const std::string& text, ChangeNote note) {
  ensureFolder(folder);
  std::vector<HistoryVersion> versions = listVersions(folder);
  HistoryVersion kept;
  for (const auto& version : versions) kept.id = std::max(kept.id, version.id);
  ++kept.id;
  kept.size = text.size();
  kept.factory = std::none_of(versions.begin(), versions.end(), [](const auto& version) { return version.factory; });
  kept.validJson = isValidJson(text);
  kept.change = std::move(note);
  writeFileAtomically(versionPath(folder, kept.id), text, fileMode);
  versions.insert(versions.begin(), kept);
  std::vector<HistoryVersion> staying = versionsWithinBounds(versions, maxHistoryVersions, maxHistoryBytes);
  try {
    writeIndex(folder, staying);
  } catch (...) {
    ::unlink(versionPath(folder, kept.id).c_str());
    throw;
  }
  // Only once the index no longer names them; a file left behind by a failure
  // here is overwritten when its number comes round again.
  for (const auto& version : versions)
    if (std::none_of(staying.begin(), staying.end(), [&](const auto& stays) { return stays.id == version.id; }))
      ::unlink(versionPath(folder, version.id).c_str());
  return kept;
}

void noteOutcome(const std::string& folder, int64_t id, ApplyOutcome outcome) {
  std::vector<HistoryVersion> versions = listVersions(folder);
  auto version = std::find_if(versions.begin(), versions.end(), [id](const auto& kept) { return kept.id == id; });
  if (version == versions.end()) return;
  version->change.outcome = outcome;
  writeIndex(folder, versions);
}

std::vector<HistoryVersion> versionsWithinBounds(std::vector<HistoryVersion> newestFirst, size_t maxVersions,
                                                 uint64_t maxBytes) {
  while (newestFirst.size() > maxVersions || totalSize(newestFirst) > maxBytes) {
    auto oldest = std::find_if(newestFirst.rbegin(), std::prev(newestFirst.rend()),
                               [](const HistoryVersion& version) { return !version.factory; });
    if (oldest == std::prev(newestFirst.rend())) break;
    newestFirst.erase(std::next(oldest).base());
  }
  return newestFirst;
}

std::vector<std::string> changedMembers(const JsonValue* before, const JsonValue& after) {
  if (before == nullptr || !before->isObject() || !after.isObject()) return {std::string(wholeDocument)};
  const JsonObject& old = before->asObject();
  const JsonObject& now = after.asObject();
  std::vector<std::string> changed;
  for (const std::string& key : differingKeys(old, now)) {
    const JsonValue* oldValue = old.find(key);
    const JsonValue* newValue = now.find(key);
    if (oldValue == nullptr || newValue == nullptr || !oldValue->isObject() || !newValue->isObject()) {
      changed.push_back(key);
      continue;
    }
    for (const std::string& inner : differingKeys(oldValue->asObject(), newValue->asObject()))
      changed.push_back(key + "." + inner);
  }
  return changed;
}

JsonValue versionJson(const HistoryVersion& version) {
  JsonObject json{{"id", version.id},
                  {"size", static_cast<int64_t>(version.size)},
                  {"factory", version.factory},
                  {"valid", version.validJson}};
  JsonValue change = changeJson(version.change);
  for (const auto& [key, value] : change.asObject()) json.set(key, value);
  return JsonValue(std::move(json));
}

}  // namespace nc
