#include "cli/report_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace kvx {

namespace {

bool writeAll(int fd, const std::string& content) {
    const char* p = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// The permissions a newly created file would get; mkstemp makes its file private.
mode_t createMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool replaceFile(const std::string& path, const std::string& content) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string temporary = folder + ".kvx-report-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    bool ok = writeAll(fd, content) && ::fchmod(fd, createMode()) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    return ok;
}

std::optional<std::string> inputAt(const std::string& output, std::span<const std::string> inputs) {
    struct stat out {};
    if (::stat(output.c_str(), &out) != 0) {
        return std::nullopt;
    }
    for (const auto& input : inputs) {
        struct stat in {};
        const int got = input == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(input.c_str(), &in);
        if (got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            return input;
        }
    }
    return std::nullopt;
}

} // namespace kvx
