#include "scenario/report_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace kvx {

namespace {

// The permissions a newly created file would get; mkstemp makes its file private.
mode_t createMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

ReplacingFile::ReplacingFile(std::string path) : target(std::move(path)) {
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
        ::unlink(temporary.c_str());
    }
}

bool ReplacingFile::commit() {
    if (!open) {
        return false;
    }
    file.close();
    const bool ok = !file.fail() && std::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
    }
    open = false;
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
        const int got = input == "-" ? ::fstat(STDIN_FILENO, &in) : ::stat(input.c_str(), &in);
        if (got == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
            return input;
        }
    }
    return std::nullopt;
}

} // namespace kvx
