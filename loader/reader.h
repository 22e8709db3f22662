// Character sources for the program scanner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace kvx {

// Yields the program text one byte at a time, or as many as fit.
class Reader {
public:
    virtual ~Reader() = default;
    // The next byte as 0..255, or -1 at the end of the input.
    virtual int read() = 0;
    // Up to `max` next bytes into `buffer`, as read() would yield them; fewer only at the end of
    // the input. The scanner reads this way, one call per buffer instead of one per byte.
    virtual std::size_t read(char* buffer, std::size_t max);
};

// Drops a carriage return that directly precedes a line feed, so text with either line end
// reads alike. `next` yields the raw bytes (-1 at the end).
class LineEndFilter final {
public:
    template <typename Next>
    int read(Next&& next) {
        int c = pending;
        if (c == None) {
            c = next();
        } else {
            pending = None;
        }
        if (c != '\r') {
            return c;
        }
        const int after = next();
        if (after == '\n') {
            return '\n';
        }
        pending = after;
        return '\r';
    }

    // Whether a byte is held back, which read() must yield before any other.
    bool holding() const noexcept { return pending != None; }
    // Holds `c` back as though read() had just read it ahead.
    void hold(int c) noexcept { pending = c; }

private:
    static constexpr int None = -2;
    int pending = None;
};

// The most program text a load reads. A controller program is a few kilobytes; the bound keeps
// an endless input (a pipe, a device, a file that keeps growing) from growing the memory until
// the process dies, and a huge file from holding up a load for seconds.
inline constexpr std::size_t MaxProgramBytes = 64u << 20;
inline constexpr const char* ProgramTooLarge = "the program is larger than 64 MiB";

// Passes `inner` on until MaxProgramBytes have gone through; the next byte throws
// CPUException(ProgramTooLarge).
class BoundedRead final : public Reader {
public:
    explicit BoundedRead(Reader& r) noexcept : inner(r) {}
    int read() override;
    std::size_t read(char* buffer, std::size_t max) override;

private:
    Reader& inner;
    std::size_t count = 0;
};

// Reads a file. A file that cannot be opened throws CPUException("File <path> not found"),
// a directory "File <path> is a directory", a FIFO, device or socket "File <path> is not a
// regular file" (at once: nothing waits for a writer), and a read error "File <path> could
// not be read"; none of them reads as an empty program. Line ends as for LineEndFilter.
class FRead final : public Reader {
public:
    explicit FRead(const std::string& path);
    int read() override;
    std::size_t read(char* buffer, std::size_t max) override;
    // The file's size in bytes when it was opened.
    std::uintmax_t openedSize() const noexcept { return size; }

private:
    struct Closer {
        void operator()(std::FILE* f) const noexcept { std::fclose(f); }
    };
    std::string name;
    std::uintmax_t size = 0;
    std::unique_ptr<std::FILE, Closer> f;
    LineEndFilter lineEnds;
};

// A program file: FRead within MaxProgramBytes. A file that is larger when it is opened is
// refused with ProgramTooLarge before anything is read; one that grows beyond the bound while it
// is read, as soon as it has.
class ProgramFileRead final : public Reader {
public:
    explicit ProgramFileRead(const std::string& path);
    // The bound reads through a reference to the file.
    ProgramFileRead(const ProgramFileRead&) = delete;
    ProgramFileRead& operator=(const ProgramFileRead&) = delete;
    int read() override { return bounded.read(); }
    std::size_t read(char* buffer, std::size_t max) override { return bounded.read(buffer, max); }
    std::uintmax_t openedSize() const noexcept { return file.openedSize(); }

private:
    FRead file;
    BoundedRead bounded{file};
};

// Reads a program held in memory (tests, and the runner's standard input). Line ends as for
// LineEndFilter.
class StringRead final : public Reader {
public:
    explicit StringRead(std::string text) noexcept : text(std::move(text)) {}
    int read() override;
    std::size_t read(char* buffer, std::size_t max) override;

private:
    std::string text;
    std::size_t pos = 0;
    LineEndFilter lineEnds;
};

} // namespace kvx
