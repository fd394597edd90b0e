// Files that hold secrets (password hashes, earlier forwarder configurations
// with their server keys) are kept to their owner: another local user who can
// read them can copy them.
#pragma once

#include <string>

#include "utils/logger.h"

namespace nc {

// Whether a symbolic link at the path is followed to what it names.
enum class LinkRule { follow, leave };

// Takes every group and other permission from the regular file or folder at
// `path`, with one line on `log`: "made PATH private: mode 0644 -> 0600". A
// path that is missing, already private, or of another kind (a symbolic link
// under LinkRule::leave) is left alone; a change that fails is one warning.
void makePrivate(const std::string& path, Logger& log, LinkRule links = LinkRule::follow);

}  // namespace nc
