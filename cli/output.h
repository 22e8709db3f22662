// Standard output that tells when a write failed, and why.
#pragma once

#include <array>
#include <streambuf>

namespace kvx {

// A buffered stream buffer over a file descriptor. A failed write (a full disk, a closed pipe
// with SIGPIPE ignored) fails the stream at once and every write after it, and the first
// error number is kept: a test tool that loses its output without a word would look as if it
// had passed.
class FdOutputBuffer final : public std::streambuf {
public:
    explicit FdOutputBuffer(int fd) noexcept;
    ~FdOutputBuffer() override;
    FdOutputBuffer(const FdOutputBuffer&) = delete;
    FdOutputBuffer& operator=(const FdOutputBuffer&) = delete;

    // The errno of the first failed write; 0 while none failed.
    int error() const noexcept { return failure; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool writeAll(const char* s, std::size_t n) noexcept;
    bool drain() noexcept;

    int fd;
    // Line by line to a terminal, so a person sees each failure when it happens.
    bool lineBuffered;
    int failure = 0;
    std::array<char, 64 * 1024> buffer{};
};

} // namespace kvx
