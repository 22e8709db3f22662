#include "cli/output.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kvx {

FdOutputBuffer::FdOutputBuffer(int f) noexcept : fd(f), lineBuffered(::isatty(f) != 0) {
    setp(buffer.data(), buffer.data() + buffer.size());
}

FdOutputBuffer::~FdOutputBuffer() {
    drain();
}

bool FdOutputBuffer::writeAll(const char* s, std::size_t n) noexcept {
    while (n > 0 && failure == 0) {
        const ssize_t written = ::write(fd, s, n);
        if (written >= 0) {
            s += written;
            n -= static_cast<std::size_t>(written);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // Standard output left non-blocking by whoever started us: wait until it drains.
            pollfd p{fd, POLLOUT, 0};
            (void)::poll(&p, 1, -1);
        } else if (errno != EINTR) {
            failure = errno;
        }
    }
    return failure == 0;
}

bool FdOutputBuffer::drain() noexcept {
    const bool ok = writeAll(pbase(), static_cast<std::size_t>(pptr() - pbase()));
    setp(buffer.data(), buffer.data() + buffer.size());
    return ok;
}

FdOutputBuffer::int_type FdOutputBuffer::overflow(int_type c) {
    if (!drain()) {
        return traits_type::eof();
    }
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        if (lineBuffered && c == '\n') {
            return drain() ? c : traits_type::eof();
        }
    }
    return traits_type::not_eof(c);
}

std::streamsize FdOutputBuffer::xsputn(const char* s, std::streamsize n) {
    if (failure != 0) {
        return 0;
    }
    const auto count = static_cast<std::size_t>(n);
    if (count > static_cast<std::size_t>(epptr() - pptr())) {
        // Too big for what is left: send what is buffered, then the text itself unless it
        // fits the emptied buffer.
        if (!drain()) {
            return 0;
        }
        if (count >= buffer.size()) {
            return writeAll(s, count) ? n : 0;
        }
    }
    std::memcpy(pptr(), s, count);
    pbump(static_cast<int>(count));
    if (lineBuffered && std::memchr(s, '\n', count) != nullptr && !drain()) {
        return 0;
    }
    return n;
}

int FdOutputBuffer::sync() {
    return drain() ? 0 : -1;
}

} // namespace kvx
