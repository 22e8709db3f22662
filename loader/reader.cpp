#include "loader/reader.h"

#include <filesystem>
#include <system_error>

#include "core/common.h"

namespace kvx {

FRead::FRead(const std::string& path) : name(path), f(std::fopen(path.c_str(), "rb")) {
    if (!f) {
        throw CPUException("File " + name + " not found");
    }
    // Some systems open a directory as a stream that merely fails on the first read.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw CPUException("File " + name + " is a directory");
    }
}

int FRead::read() {
    return lineEnds.read([this] {
        const int c = std::fgetc(f.get());
        // A failed read must not pass for the end of the program: that would load a
        // truncated file without complaint.
        if (c == EOF && std::ferror(f.get())) {
            throw CPUException("File " + name + " could not be read");
        }
        return c == EOF ? -1 : c;
    });
}

int StringRead::read() {
    return lineEnds.read([this]() noexcept {
        return pos < text.size() ? static_cast<unsigned char>(text[pos++]) : -1;
    });
}

} // namespace kvx
