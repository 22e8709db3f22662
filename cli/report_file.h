// Report files that are either the old file or the whole new one, and never an input.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace kvx {

// Writes `content` to a temporary file in `path`'s folder and renames it to `path`, so a run
// killed part way leaves the previous file, never half a new one. False when that fails; a
// temporary file is not left behind then.
bool replaceFile(const std::string& path, const std::string& content);

// The first of `inputs` that is the same file (device and inode) as `output`, if any; "-" in
// `inputs` stands for standard input. Nothing when `output` does not exist yet.
std::optional<std::string> inputAt(const std::string& output, std::span<const std::string> inputs);

} // namespace kvx
