#include "robustness_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/common.h"

namespace kvx {

const char* const BaselineProgram = "ORGANIZATION_BLOCK BASE:OB1\n"
                                    "TITLE=baseline\n"
                                    "BEGIN\n"
                                    "NETWORK 1\n"
                                    "LD E0.0\n"
                                    "= A0.0\n"
                                    "END_ORGANIZATION_BLOCK\n";

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvx_robust_XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch directory");
    }
    dir = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(dir, ignored);
}

std::string ScratchDir::write(const std::string& name, std::string_view content) const {
    const std::string file = (dir / name).string();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file);
    }
    return file;
}

std::optional<std::string> textOf(const std::optional<CPUException>& error) {
    if (!error) {
        return std::nullopt;
    }
    return std::string(error->getText());
}

std::string listing(const Session& session) {
    StringWriter w;
    session.cpu().print(w);
    return w.str();
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace kvx
