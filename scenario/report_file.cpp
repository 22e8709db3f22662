#include "scenario/report_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kvx {

namespace {

namespace fs = std::filesystem;

// As many links as the system follows before it gives up on a loop.
constexpr int MaxLinks = 40;

// The permissions a newly created file would get; mkstemp makes its file private.
mode_t createMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The file a write to `path` reaches: the links of its last component followed, also to a file
// that does not exist yet, which the write then creates. Nothing for a loop of links.
std::optional<std::string> linkTarget(std::string path) {
    for (int hop = 0; hop <= MaxLinks; ++hop) {
        std::error_code notALink;
        const fs::path link(path);
        const fs::path next = fs::read_symlink(link, notALink);
        if (notALink) {
            return path;
        }
        path = (link.parent_path() / next).string();
    }
    return std::nullopt;
}

bool sameFile(const struct stat& a, const struct stat& b) noexcept {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool isFile(const struct stat& file, const std::string& path) {
    struct stat other {};
    return ::stat(path.c_str(), &other) == 0 && sameFile(file, other);
}

} // namespace

ReplacingFile::ReplacingFile(std::string path) : given(std::move(path)) {
    struct stat existing {};
    const bool exists = ::stat(given.c_str(), &existing) == 0;
    const auto destination = linkTarget(given);
    // A link that does not lead to its file by name (a deleted file still open, seen through
    // /proc/self/fd) has no name to rename onto either.
    if (exists && (!S_ISREG(existing.st_mode) || !destination || !isFile(existing, *destination))) {
        openInPlace();
    } else if (destination) {
        openTemporary(*destination);
    }
}

void ReplacingFile::openInPlace() {
    file.open(given, std::ios::binary);
    open = file.is_open();
}

void ReplacingFile::openTemporary(const std::string& destination) {
    target = destination;
    const auto slash = target.rfind('/');
    temporary =
        (slash == std::string::npos ? "" : target.substr(0, slash + 1)) + ".kvx-report-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return;
    }
    const bool made = ::fchmod(fd, createMode()) == 0;
    ::close(fd);
    file.open(temporary, std::ios::binary | std::ios::trunc);
    open = made && file.is_open();
    if (!open) {
        ::unlink(temporary.c_str());
    }
}

ReplacingFile::~ReplacingFile() {
    if (open) {
        file.close();
        if (!writesInPlace()) {
            ::unlink(temporary.c_str());
        }
    }
}

bool ReplacingFile::commit() {
    if (!open) {
        return false;
    }
    open = false;
    file.close();
    if (writesInPlace()) {
        return !file.fail();
    }
    const bool ok = !file.fail() && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

bool replaceFile(const std::string& path, const std::string& content) {
    ReplacingFile file(path);
    file.stream() << content;
    return file.commit();
}

std::optional<std::string> inputAt(const std::string& output, std::span<const std::string> inputs) {
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) {
        return std::nullopt;
    }
    for (const auto& input : inputs) {
        struct stat in {};
        if (input == "-" ? ::fstat(STDIN_FILENO, &in) == 0 && sameFile(in, out)
                         : isFile(out, input)) {
            return input;
        }
    }
    return std::nullopt;
}

} // namespace kvx
