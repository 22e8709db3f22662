// Character sources: line-end handling and files that cannot be read.

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "core/common.h"
#include "loader/reader.h"
#include "loader_support.h"

namespace kvx {

namespace {

std::string drain(Reader& r) {
    std::string out;
    for (int c = r.read(); c != -1; c = r.read()) {
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// As the scanner reads: blocks of `size`, each full but the last.
std::string drainBlocks(Reader& r, std::size_t size) {
    std::string out;
    std::string block(size, '\0');
    for (std::size_t n = size; n == size;) {
        n = r.read(block.data(), size);
        out.append(block, 0, n);
    }
    return out;
}

std::string openError(const std::string& path) {
    return errorOf([&] { FRead f(path); });
}

class FileRead : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("kvx_reader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& content) const {
        const auto path = dir / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    std::filesystem::path dir;
};

TEST(StringRead, CarriageReturnBeforeLineFeedIsDropped) {
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"a\rb", "a\rb"},
        {"\r\r\n", "\r\n"},
        {"a\r", "a\r"},
        {"\n\r", "\n\r"},
        {"\xFF\x80", "\xFF\x80"},
        {"", ""},
        {"ab\r\r\rc\r\n", "ab\r\r\rc\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("input: \"" + c.input + "\"");
        StringRead r(c.input);
        EXPECT_EQ(drain(r), c.expected);
        EXPECT_EQ(r.read(), -1) << "the end repeats";
        // A return at a block's end is decided by the next block's first byte.
        for (const std::size_t size : {1, 2, 3, 64}) {
            StringRead blocks(c.input);
            EXPECT_EQ(drainBlocks(blocks, size), c.expected) << "blocks of " << size;
        }
    }
}

TEST_F(FileRead, FileReadsBytesAndDropsCarriageReturns) {
    const std::string path = write("crlf.awl", "LD E0.0\r\n// \xE4\r\n");
    FRead f(path);
    EXPECT_EQ(drain(f), "LD E0.0\n// \xE4\n");
    FRead blocks(path);
    EXPECT_EQ(drainBlocks(blocks, 8), "LD E0.0\n// \xE4\n");
}

TEST_F(FileRead, MissingFileNamesThePath) {
    const std::string path = (dir / "missing.awl").string();
    EXPECT_EQ(openError(path), "File " + path + " not found");
}

TEST_F(FileRead, DirectoryIsNoProgram) {
    EXPECT_EQ(openError(dir.string()), "File " + dir.string() + " is a directory");
}

// A FIFO without a writer would block a plain open for ever; a device or socket is no
// program. Each is refused at once, by the same message.
TEST_F(FileRead, NonRegularFilesAreRefusedWithoutWaiting) {
    const std::string fifo = (dir / "fifo.awl").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = (dir / "socket.awl").string();
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    for (const std::string& path : {fifo, socketPath, std::string("/dev/null")}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(openError(path), "File " + path + " is not a regular file");
    }
    ::close(sock);
}

} // namespace

} // namespace kvx
