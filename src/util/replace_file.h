#pragma once

#include <string>
#include <string_view>

namespace sorvex {

// Replaces the file at `path` by `text`: written to a temporary file beside
// it, synced, then renamed over it, so the target is either the old file or
// the whole new one, never half of either. An existing target's permissions
// are kept (new files get 0644). False with the system's reason in `reason`
// when it failed; no temporary file is left behind then.
bool ReplaceFile(const std::string& path, std::string_view text, std::string& reason);

}  // namespace sorvex
