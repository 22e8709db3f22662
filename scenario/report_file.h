// Report files that are either the old file or the whole new one, and never an input.
#pragma once

#include <fstream>
#include <optional>
#include <span>
#include <string>

namespace kvx {

// A file that replaces `path` only when it is complete: it is written to a temporary file in
// `path`'s folder and renamed to `path` by commit(). Destroyed without a successful commit, it
// removes the temporary file and leaves `path` as it was, so a run that fails or is killed part
// way never leaves half a file.
class ReplacingFile final {
public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the temporary file could not be made, i.e. the folder is not writable.
    bool isOpen() const noexcept { return open; }
    const std::string& path() const noexcept { return target; }
    std::ostream& stream() noexcept { return file; }
    // Writes out what the stream holds and renames the file to `path`. False when either fails.
    bool commit();

private:
    std::string target;
    std::string temporary;
    std::ofstream file;
    bool open = false;
};

// The whole of `content` as a ReplacingFile. False when that fails.
bool replaceFile(const std::string& path, const std::string& content);

// The first of `inputs` that is the same file (device and inode) as `output`, if any; "-" in
// `inputs` stands for standard input. Nothing when `output` does not exist yet.
std::optional<std::string> inputAt(const std::string& output, std::span<const std::string> inputs);

} // namespace kvx
