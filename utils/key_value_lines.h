// The KEY=VALUE lines that systemd's tools print (`systemctl show`,
// `timedatectl show`) and that /etc/os-release holds.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace nc {

using KeyValues = std::map<std::string, std::string, std::less<>>;

// Every line holding "=" after a non-empty key, in any order; the value is
// the rest of the line as written. Other lines are skipped; a repeated key
// keeps its first value.
KeyValues keyValueLines(std::string_view text);

// The value of `key`, or the empty string when there is none.
std::string valueOf(const KeyValues& values, std::string_view key);

}  // namespace nc
