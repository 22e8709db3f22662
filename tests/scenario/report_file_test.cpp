// Report files against what already stands at their path.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "scenario/report_file.h"

namespace kvx {
namespace {

namespace fs = std::filesystem;

class ReportFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvx-report-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        tmp = pattern;
    }
    void TearDown() override { fs::remove_all(tmp); }

    // Everything under the folder, a temporary file left behind included.
    std::set<std::string> names() const {
        std::set<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(tmp)) {
            found.insert(entry.path().lexically_relative(tmp).string());
        }
        return found;
    }

    static std::string readFile(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    fs::path tmp;
};

// A pipe cannot be replaced by a file: what reads it would never see the report.
TEST_F(ReportFileTest, AFifoIsWrittenAsItStands) {
    const fs::path fifo = tmp / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("fifo", tmp / "to-fifo");
    for (const char* name : {"fifo", "to-fifo"}) {
        SCOPED_TRACE(name);
        // With a reader, opening the other end for writing does not wait.
        const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        EXPECT_TRUE(replaceFile((tmp / name).string(), "report\n"));
        char buffer[16] = {};
        const ssize_t n = read(reader, buffer, sizeof buffer);
        close(reader);
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
                  "report\n");
        EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    }
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(tmp / "to-fifo")));
    EXPECT_EQ(names(), (std::set<std::string>{"fifo", "to-fifo"}));
}

TEST_F(ReportFileTest, ADeviceIsWrittenAsItStands) {
    // A private null device, so that a fault cannot replace the machine's own.
    const fs::path null = tmp / "null";
    if (mknod(null.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "making a device node needs root";
    }
    struct statvfs mounted {};
    if (statvfs(tmp.c_str(), &mounted) == 0 && (mounted.f_flag & ST_NODEV) != 0) {
        GTEST_SKIP() << tmp << " is mounted without devices";
    }
    ReplacingFile file(null.string());
    EXPECT_TRUE(file.writesInPlace());
    file.stream() << "report\n";
    EXPECT_TRUE(file.commit());
    EXPECT_TRUE(fs::is_character_file(fs::symlink_status(null)));
    EXPECT_EQ(names(), std::set<std::string>{"null"});
}

// The link is what the user set up; the file it leads to is the report. The temporary file
// goes beside that file, as a rename cannot cross file systems.
TEST_F(ReportFileTest, ALinkToAFileKeepsTheLinkAndReplacesTheFile) {
    fs::create_directory(tmp / "reports");
    std::ofstream(tmp / "reports" / "old.xml") << "old\n";
    fs::create_symlink("reports/old.xml", tmp / "old.xml");
    fs::create_symlink(tmp / "reports" / "new.xml", tmp / "new.xml");
    const auto reports = [&] {
        return std::distance(fs::directory_iterator(tmp / "reports"), fs::directory_iterator());
    };
    for (const char* name : {"old.xml", "new.xml"}) {
        SCOPED_TRACE(name);
        const auto before = reports();
        ReplacingFile file((tmp / name).string());
        file.stream() << "report\n";
        EXPECT_EQ(reports(), before + 1);
        EXPECT_TRUE(file.commit());
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(tmp / name)));
        EXPECT_EQ(readFile(tmp / "reports" / name), "report\n");
    }
    EXPECT_EQ(names(), (std::set<std::string>{"new.xml", "old.xml", "reports", "reports/new.xml",
                                              "reports/old.xml"}));
}

} // namespace
} // namespace kvx
