#include "src/app/command_line.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <stdexcept>

#include "utils/quoted_text.h"

namespace nc {
namespace {

// A command line that cannot be run; the text is all that standard error shows.
class CommandLineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Kind { HelpSwitch, HelpSyntaxSwitch, VersionSwitch, Text, Integer };

struct Option {
  std::string_view name;
  char shortName = '\0';
  Kind kind = Kind::Text;
  std::string_view description = {};  // switches only: a setting's reads "set <name>"
  std::string Settings::*text = nullptr;
  int64_t Settings::*integer = nullptr;
};

// Help rows, prefix completion and suggestions all follow this order.
const std::array<Option, 14> knownOptions{{
    {"help", 'h', Kind::HelpSwitch, "print this cligen-erated help"},
    {"help-syntax", '\0', Kind::HelpSyntaxSwitch, "advanced: prepend,plurals,.."},
    {"listen", 'l', Kind::Text, {}, &Settings::listen},
    {"port", 'p', Kind::Integer, {}, nullptr, &Settings::port},
    {"forwarderConfigPath", 'f', Kind::Text, {}, &Settings::forwarderConfigPath},
    {"forwarderUnitServiceName", '\0', Kind::Text, {}, &Settings::forwarderUnitServiceName},
    {"forwarderSettleSeconds", '\0', Kind::Integer, {}, nullptr, &Settings::forwarderSettleSeconds},
    {"dataPath", 'd', Kind::Text, {}, &Settings::dataPath},
    {"tokenLifetime", '\0', Kind::Integer, {}, nullptr, &Settings::tokenLifetime},
    {"allowedHosts", '\0', Kind::Text, {}, &Settings::allowedHosts},
    {"metricsTokenFile", '\0', Kind::Text, {}, &Settings::metricsTokenFile},
    {"tlsCertificate", '\0', Kind::Text, {}, &Settings::tlsCertificate},
    {"tlsKey", '\0', Kind::Text, {}, &Settings::tlsKey},
    {"initialPasswordFile", '\0', Kind::Text, {}, &Settings::initialPasswordFile},
}};

// Has no help row, so it is recognised only when typed in full: no prefix
// completes to it and no suggestion names it.
const Option versionOption{"version", '\0', Kind::VersionSwitch};

constexpr std::string_view usageHint = "Run with --help for full usage.\n";

constexpr std::string_view cheatSheet =
    "BASIC CHEAT SHEET:\n"
    "  Options take their value in any of these forms:\n"
    "    --name=value  --name:value  --name value\n"
    "    -n=value      -n:value      -nvalue      -n value\n"
    "  Long names ignore case after their first letter, and ignore \"_\" and \"-\"\n"
    "  after it: --data-path, --data_path and --dataPATH all mean --dataPath,\n"
    "  while --DataPath means nothing.\n"
    "  Any unambiguous prefix of a long name will do (--po means --port); a name\n"
    "  typed in full wins over longer names it begins (--help).\n"
    "  Switches such as --help and -h take no value; one attached is ignored.\n"
    "  When an option is given several times, the last one wins.\n"
    "  String values can be updated instead of replaced:\n"
    "    --name+=text or --name&=text  appends text to the value so far\n"
    "    --name^=text                  prepends it\n"
    "    --name=                       sets the empty string\n"
    "  List values take the same operators element by element; this program has\n"
    "  no list options.\n"
    "  Integer values are plain numbers; white space around them is ignored.\n"
    "  An argument \"--\" ends the options.\n";

bool takesValue(const Option& option) { return option.kind == Kind::Text || option.kind == Kind::Integer; }

// The first character keeps its case so that short-looking names stay
// distinct; after it, case and word separators are the user's choice.
std::string normaliseName(std::string_view name) {
  std::string normalised(name.substr(0, 1));
  for (char c : name.substr(std::min<size_t>(1, name.size()))) {
    if (c == '_' || c == '-') continue;
    normalised += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return normalised;
}

std::string keysCell(const Option& option) {
  const std::string equals = takesValue(option) ? "=" : "";
  std::string cell;
  if (option.shortName != '\0') cell = std::string{'-', option.shortName} + equals + ", ";
  return cell + "--" + std::string(option.name) + equals;
}

std::array<std::string, 4> helpRow(const Option& option) {
  const Settings defaults;
  const std::string setter = "set " + std::string(option.name);
  switch (option.kind) {
    case Kind::Text:
      return {keysCell(option), "string", quoteEscaped(defaults.*option.text), setter};
    case Kind::Integer:
      return {keysCell(option), "int", std::to_string(defaults.*option.integer), setter};
    default:
      return {keysCell(option), "", "", std::string(option.description)};
  }
}

std::string helpText(int columns) {
  std::vector<std::array<std::string, 4>> rows;
  for (const Option& option : knownOptions) rows.push_back(helpRow(option));
  std::array<size_t, 3> widest{};
  for (const auto& row : rows)
    for (size_t column = 0; column < widest.size(); ++column)
      widest[column] = std::max(widest[column], row[column].size());
  // Two spaces of indentation, then each cell padded by a gap of two.
  const size_t indent = 2 + widest[0] + widest[1] + widest[2] + 6;
  const int descriptionWidth = std::max<int64_t>(16, int64_t{columns} - static_cast<int64_t>(indent));
  std::string text = "Usage:\n  nodeconsole [optional-params] \nOptions:\n";
  for (const auto& row : rows) {
    text += "  ";
    for (size_t column = 0; column < widest.size(); ++column)
      text += row[column] + std::string(widest[column] + 2 - row[column].size(), ' ');
    const std::vector<std::string> lines = wrapLeastRagged(row[3], descriptionWidth);
    text += lines.front() + "\n";
    for (size_t line = 1; line < lines.size(); ++line) text += std::string(indent, ' ') + lines[line] + "\n";
  }
  return text;
}

// One option as typed. The separator keeps any update operator typed before
// it ("=", ":", "+=", "^:", ...) and is empty when none was typed.
struct Occurrence {
  std::string key;  // without dashes, separator or value
  std::string separator;
  std::optional<std::string> value;  // only when attached to the option itself
};

bool isOperatorChar(char c) { return std::string_view("+-*/%@,.&|~^$#<>?").find(c) != std::string_view::npos; }

Occurrence splitLong(std::string_view body) {
  const size_t separator = body.find_first_of("=:");
  if (separator == std::string_view::npos) return {std::string(body), "", std::nullopt};
  size_t keyEnd = separator;
  while (keyEnd > 0 && isOperatorChar(body[keyEnd - 1])) --keyEnd;
  return {std::string(body.substr(0, keyEnd)), std::string(body.substr(keyEnd, separator + 1 - keyEnd)),
          std::string(body.substr(separator + 1))};
}

Occurrence splitShort(std::string_view body) {
  const std::string_view rest = body.substr(1);
  size_t operatorEnd = 0;
  while (operatorEnd < rest.size() && isOperatorChar(rest[operatorEnd])) ++operatorEnd;
  Occurrence occurrence{std::string(body.substr(0, 1)), "", std::nullopt};
  if (operatorEnd < rest.size() && (rest[operatorEnd] == '=' || rest[operatorEnd] == ':')) {
    occurrence.separator = rest.substr(0, operatorEnd + 1);
    occurrence.value = rest.substr(operatorEnd + 1);
  } else if (!rest.empty()) {
    occurrence.value = rest;
  }
  return occurrence;
}

// Known long names close to the unknown one, nearest first. Farther names are
// only worth showing while few near ones turned up.
std::vector<std::string_view> suggestionsFor(const std::string& normalisedKey) {
  constexpr size_t farthest = 3;
  constexpr size_t enough = 3;
  std::vector<std::string_view> found;
  for (size_t distance = 0; distance <= farthest && found.size() < enough; ++distance)
    for (const Option& option : knownOptions)
      if (damerauLevenshteinDistance(normalisedKey, normaliseName(option.name)) == distance)
        found.push_back(option.name);
  return found;
}

std::string unknownLongText(const std::string& key) {
  std::string text = "Unknown long option: \"" + key + "\"\n\n";
  const std::vector<std::string_view> suggestions = suggestionsFor(normaliseName(key));
  if (!suggestions.empty()) {
    text += "Maybe you meant one of:\n\t";
    for (size_t i = 0; i < suggestions.size(); ++i) text += (i == 0 ? "" : " ") + std::string(suggestions[i]);
    text += "\n\n";
  }
  return text + std::string(usageHint);
}

std::string ambiguityText(const std::string& key, std::vector<const Option*> matches) {
  std::sort(matches.begin(), matches.end(),
            [](const Option* a, const Option* b) { return normaliseName(a->name) < normaliseName(b->name); });
  std::string text = "Ambiguous long option prefix \"" + key + "\" matches:\n";
  for (const Option* match : matches)
    text += "  " + std::string(match->name) + (match == matches.back() ? " \n" : "\n");
  return text + "Run with --help for more details.\n";
}

const Option& resolveLong(const std::string& key) {
  const std::string wanted = normaliseName(key);
  std::vector<const Option*> matches;
  for (const Option& option : knownOptions) {
    const std::string name = normaliseName(option.name);
    if (name == wanted) return option;
    if (name.starts_with(wanted)) matches.push_back(&option);
  }
  if (matches.size() == 1) return *matches.front();
  if (matches.size() > 1) throw CommandLineError(ambiguityText(key, matches));
  if (wanted == versionOption.name) return versionOption;
  throw CommandLineError(unknownLongText(key));
}

const Option& resolveShort(const std::string& key) {
  for (const Option& option : knownOptions)
    if (option.shortName == key.front()) return option;
  throw CommandLineError("Unknown short option: \"" + key + "\"\n\n" + std::string(usageHint));
}

std::string badOperatorText(const Occurrence& occurrence, std::string_view typeName) {
  return "Bad operator (\"" + occurrence.separator + "\") for " + std::string(typeName) + ", param " +
         occurrence.key + "\n";
}

void applyText(std::string& target, const Occurrence& occurrence, const std::string& value) {
  const std::string& separator = occurrence.separator;
  if (separator.size() <= 1)
    target = value;
  else if (separator.size() == 2 && (separator[0] == '+' || separator[0] == '&'))
    target += value;
  else if (separator.size() == 2 && separator[0] == '^')
    target.insert(0, value);
  else
    throw CommandLineError(badOperatorText(occurrence, "strings"));
}

std::string_view withoutBlanks(std::string_view text) {
  constexpr std::string_view blanks = " \t\n\v\f\r";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) + 1 - first);
}

int64_t parseInteger(const Occurrence& occurrence, const std::string& value, const std::string& help) {
  // Adding to or prepending to a port number means nothing, so only plain values are taken.
  if (occurrence.separator.size() > 1) throw CommandLineError(badOperatorText(occurrence, "ints"));
  const std::string_view digits = withoutBlanks(value);
  const size_t signLength = !digits.empty() && (digits[0] == '+' || digits[0] == '-') ? 1 : 0;
  int64_t number = 0;
  if (digits.size() > signLength && digits[signLength] >= '0' && digits[signLength] <= '9') {
    const char* begin = digits.data() + (digits[0] == '+' ? 1 : 0);
    const auto [end, error] = std::from_chars(begin, digits.data() + digits.size(), number);
    if (error == std::errc() && end == digits.data() + digits.size()) return number;
  }
  throw CommandLineError("Bad value: \"" + value + "\" for option \"" + occurrence.key + "\"; expecting int\n" + help);
}

int endWithSwitch(const Option& option, std::ostream& out, const std::string& help) {
  if (option.kind == Kind::HelpSwitch)
    out << help;
  else if (option.kind == Kind::HelpSyntaxSwitch)
    out << cheatSheet;
  else
    out << "Unknown version\n";
  return 0;
}

std::string nonOptionText(const std::string& arg) {
  return "nodeconsole does not expect non-option arguments at \"" + arg + "\".\n" + std::string(usageHint);
}

// Walks the arguments left to right; returns the exit status when a switch
// ends the run, nothing when the service is to run with `settings`.
std::optional<int> parseArguments(const std::vector<std::string>& args, Settings& settings, std::ostream& out,
                                  const std::string& help) {
  for (size_t next = 0; next < args.size();) {
    const std::string& arg = args[next++];
    if (arg == "--") {
      if (next < args.size()) throw CommandLineError(nonOptionText(args[next]));
      break;
    }
    if (arg.size() < 2 || arg[0] != '-') throw CommandLineError(nonOptionText(arg));
    const bool isLong = arg[1] == '-';
    const std::string_view body = std::string_view(arg).substr(isLong ? 2 : 1);
    const Occurrence occurrence = isLong ? splitLong(body) : splitShort(body);
    const Option& option = isLong ? resolveLong(occurrence.key) : resolveShort(occurrence.key);
    if (!takesValue(option)) return endWithSwitch(option, out, help);
    // A trailing option without its value is a truncated command line; running
    // with an empty address would quietly listen on every interface.
    if (!occurrence.value && next == args.size())
      throw CommandLineError("Missing value for option \"" + occurrence.key + "\"\n" + std::string(usageHint));
    const std::string value = occurrence.value ? *occurrence.value : args[next++];
    if (option.kind == Kind::Integer)
      settings.*option.integer = parseInteger(occurrence, value, help);
    else
      applyText(settings.*option.text, occurrence, value);
  }
  return std::nullopt;
}

}  // namespace

CommandLineOutcome parseCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                                    int columns) {
  const std::string help = helpText(columns);
  Settings settings;
  try {
    if (const std::optional<int> status = parseArguments(args, settings, out, help)) return {std::nullopt, *status};
  } catch (const CommandLineError& error) {
    err << error.what();
    return {std::nullopt, 1};
  }
  return {settings, 0};
}

int terminalWidth() {
  // Help goes to standard output, but when that is piped the user's terminal
  // is usually still on standard error or input.
  for (int fd : {STDOUT_FILENO, STDERR_FILENO, STDIN_FILENO}) {
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  }
  if (const char* columns = std::getenv("COLUMNS")) {
    const char* end = columns + std::strlen(columns);
    int width = 0;
    const auto [parsedEnd, error] = std::from_chars(columns, end, width);
    if (error == std::errc() && parsedEnd == end && width > 0) return width;
  }
  return 80;
}

std::vector<std::string> wrapLeastRagged(std::string_view text, int width) {
  std::vector<std::string_view> words;
  for (size_t start = text.find_first_not_of(' '); start != std::string_view::npos;) {
    const size_t end = std::min(text.find(' ', start), text.size());
    words.push_back(text.substr(start, end - start));
    start = text.find_first_not_of(' ', end);
  }
  if (words.empty()) return {""};
  // least[i] is the least cost of laying out words i.. to the end, whose first
  // line then ends before word breakAfter[i]. Costs are doubles because a huge
  // width cubed does not fit 64 bits.
  const size_t count = words.size();
  std::vector<double> least(count + 1, std::numeric_limits<double>::infinity());
  std::vector<size_t> breakAfter(count + 1, count);
  least[count] = 0;
  for (size_t first = count; first-- > 0;) {
    int64_t length = -1;
    for (size_t last = first; last < count; ++last) {
      length += 1 + static_cast<int64_t>(words[last].size());
      if (length > width && last > first) break;
      const double unused = static_cast<double>(std::max<int64_t>(0, width - length));
      const double cost = (last + 1 == count ? 0 : unused * unused * unused) + least[last + 1];
      if (cost < least[first]) {
        least[first] = cost;
        breakAfter[first] = last + 1;
      }
    }
  }
  std::vector<std::string> lines;
  for (size_t first = 0; first < count; first = breakAfter[first]) {
    std::string line(words[first]);
    for (size_t word = first + 1; word < breakAfter[first]; ++word) line.append(" ").append(words[word]);
    lines.push_back(line);
  }
  return lines;
}

size_t damerauLevenshteinDistance(std::string_view a, std::string_view b) {
  // Lowrance and Wagner's table, bordered by a row and column too large to
  // ever be the cheapest way, so that a swap reaching past the start loses.
  const size_t columns = b.size() + 2;
  const size_t never = a.size() + b.size();
  std::vector<size_t> table((a.size() + 2) * columns, never);
  const auto at = [&](size_t i, size_t j) -> size_t& { return table[i * columns + j]; };
  for (size_t i = 0; i <= a.size(); ++i) at(i + 1, 1) = i;
  for (size_t j = 0; j <= b.size(); ++j) at(1, j + 1) = j;
  std::array<size_t, 256> lastRowOf{};  // last row of a holding each byte, 0 before any
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t lastMatchColumn = 0;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t k = lastRowOf[static_cast<unsigned char>(b[j - 1])];
      const size_t l = lastMatchColumn;
      const size_t substitution = a[i - 1] == b[j - 1] ? 0 : 1;
      if (substitution == 0) lastMatchColumn = j;
      at(i + 1, j + 1) = std::min({at(i, j) + substitution, at(i + 1, j) + 1, at(i, j + 1) + 1,
                                   at(k, l) + (i - k - 1) + 1 + (j - l - 1)});
    }
    lastRowOf[static_cast<unsigned char>(a[i - 1])] = i;
  }
  return at(a.size() + 1, b.size() + 1);
}

}  // namespace nc
