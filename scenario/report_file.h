// Report files that are either the old file or the whole new one, and never an input.
#pragma once

#include <fstream>
#include <optional>
#include <span>
#include <string>

namespace kvx {

// A file that replaces `path` only when it is complete: it is written to a temporary file in
// the folder of the file `path` names and renamed onto that file by commit(). Destroyed without
// a successful commit, it removes the temporary file and leaves the file as it was, so a run
// that fails or is killed part way never leaves half a file. A symbolic link stays a link: the
// file it leads to is replaced.
//
// A path that is no regular file (a device, a pipe, a socket, or a link to one) cannot be
// replaced and must not be: `/dev/null`, a FIFO or `/dev/stdout` is opened and written as it
// stands, as a compiler writes its output there.
class ReplacingFile final {
public:
    explicit ReplacingFile(std::string path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the file could not be opened: for a new or regular file, the temporary file
    // could not be made (the folder is not writable); else `path` did not open for writing.
    bool isOpen() const noexcept { return open; }
    // Whether `path` is written as it stands rather than replaced.
    bool writesInPlace() const noexcept { return temporary.empty(); }
    const std::string& path() const noexcept { return given; }
    std::ostream& stream() noexcept { return file; }
    // Writes out what the stream holds and, unless written in place, renames the file onto the
    // target. False when either fails.
    bool commit();

private:
    void openInPlace();
    void openTemporary(const std::string& destination);

    std::string given;
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
