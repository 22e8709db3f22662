#include "loader/reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/common.h"

namespace kvx {

namespace {

// Opens `path` for reading without ever waiting: a FIFO without a writer, a terminal or a
// device must be refused at once, never block the window or the runner. Such a name is refused
// before it is opened (opening some devices already does something); O_NONBLOCK keeps the open
// from waiting should the name be swapped in between, and the type is checked again on what
// was really opened.
std::FILE* openRegularFile(const std::string& path, std::uintmax_t& size) {
    const auto refuse = [&path](const char* why) { return CPUException("File " + path + why); };
    constexpr const char* NotRegular = " is not a regular file";
    struct stat named {};
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode) && !S_ISDIR(named.st_mode)) {
        throw refuse(NotRegular);
    }
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        throw refuse(" not found");
    }
    struct stat opened {};
    const char* why = nullptr;
    if (::fstat(fd, &opened) != 0) {
        why = " could not be read";
    } else if (S_ISDIR(opened.st_mode)) {
        why = " is a directory";
    } else if (!S_ISREG(opened.st_mode)) {
        why = NotRegular;
    } else if (const int flags = ::fcntl(fd, F_GETFL);
               flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        why = " could not be read";
    }
    size = static_cast<std::uintmax_t>(opened.st_size);
    std::FILE* f = why == nullptr ? ::fdopen(fd, "rb") : nullptr;
    if (f == nullptr) {
        ::close(fd);
        throw refuse(why != nullptr ? why : " could not be read");
    }
    return f;
}

// Drops each carriage return of buffer[from, to) that a line feed follows, moving the rest
// down; one at the end is held back in `filter`, which decides it on the next byte. Returns the
// new end.
std::size_t dropReturns(LineEndFilter& filter, char* buffer, std::size_t from, std::size_t to) {
    // Most text has no return at all: find the first one at memchr's speed.
    const void* first = std::memchr(buffer + from, '\r', to - from);
    if (first == nullptr) {
        return to;
    }
    std::size_t out = static_cast<std::size_t>(static_cast<const char*>(first) - buffer);
    for (std::size_t i = out; i < to; ++i) {
        if (buffer[i] == '\r') {
            if (i + 1 == to) {
                filter.hold('\r');
                break;
            }
            if (buffer[i + 1] == '\n') {
                continue;
            }
        }
        buffer[out++] = buffer[i];
    }
    return out;
}

// Whole blocks of raw bytes from `block` (0 at the end), and the filter byte by byte only
// for what it holds back: the byte-at-a-time path was a fifth of a large load.
template <typename Block, typename Next>
std::size_t readInto(LineEndFilter& filter, char* buffer, std::size_t max, Block&& block,
                     Next&& next) {
    std::size_t n = 0;
    while (n < max) {
        if (filter.holding()) {
            const int c = filter.read(next);
            if (c < 0) {
                break;
            }
            buffer[n++] = static_cast<char>(c);
            continue;
        }
        const std::size_t got = block(buffer + n, max - n);
        if (got == 0) {
            break;
        }
        n = dropReturns(filter, buffer, n, n + got);
    }
    return n;
}

} // namespace

std::size_t Reader::read(char* buffer, std::size_t max) {
    std::size_t n = 0;
    while (n < max) {
        const int c = read();
        if (c < 0) {
            break;
        }
        buffer[n++] = static_cast<char>(c);
    }
    return n;
}

namespace {
// The next byte of a file, -1 at its end; a failed read throws.
int nextOf(std::FILE* f, const std::string& name) {
    const int c = getc_unlocked(f);
    // A failed read must not pass for the end of the program: that would load a truncated
    // file without complaint.
    if (c == EOF && std::ferror(f)) {
        throw CPUException("File " + name + " could not be read");
    }
    return c == EOF ? -1 : c;
}
} // namespace

FRead::FRead(const std::string& path) : name(path), f(openRegularFile(path, size)) {}

int FRead::read() {
    return lineEnds.read([this] { return nextOf(f.get(), name); });
}

std::size_t FRead::read(char* buffer, std::size_t max) {
    const auto block = [this](char* to, std::size_t most) {
        const std::size_t got = std::fread(to, 1, most, f.get());
        if (got < most && std::ferror(f.get())) {
            throw CPUException("File " + name + " could not be read");
        }
        return got;
    };
    return readInto(lineEnds, buffer, max, block, [this] { return nextOf(f.get(), name); });
}

int StringRead::read() {
    return lineEnds.read([this]() noexcept {
        return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : -1;
    });
}

std::size_t StringRead::read(char* buffer, std::size_t max) {
    const auto block = [this](char* to, std::size_t most) noexcept {
        const std::size_t got = std::min(most, text.size() - pos);
        std::copy_n(text.data() + pos, got, to);
        pos += got;
        return got;
    };
    return readInto(lineEnds, buffer, max, block, [this]() noexcept {
        return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : -1;
    });
}

// Counts as read() does: the byte beyond the bound throws, the ones before pass.
std::size_t BoundedRead::read(char* buffer, std::size_t max) {
    const std::size_t room = MaxProgramBytes - count;
    const std::size_t n = inner.read(buffer, max < room ? max : room);
    count += n;
    if (n == room && n < max && inner.read() != -1) {
        throw CPUException(ProgramTooLarge);
    }
    return n;
}

int BoundedRead::read() {
    const int c = inner.read();
    if (c != -1 && ++count > MaxProgramBytes) {
        throw CPUException(ProgramTooLarge);
    }
    return c;
}

ProgramFileRead::ProgramFileRead(const std::string& path) : file(path) {
    if (file.openedSize() > MaxProgramBytes) {
        throw CPUException(ProgramTooLarge);
    }
}

} // namespace kvx
