// Program files no one would write on purpose: huge, binary, cut short, unreadable. Every one
// must end in an installed program or in a CPUException, and a failed load must leave the
// program that was installed before exactly as it was.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/program.h"
#include "loader/reader.h"
#include "robustness_support.h"

namespace kvx {

namespace {

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        standStill(sim);
        ASSERT_EQ(textOf(sim.loadText(BaselineProgram)), std::nullopt);
        baseline = listing(sim);
    }

    // Loads the file; a failure must be a CPUException that left the baseline in place.
    // Returns the error text, or nullopt when the file loaded.
    std::optional<std::string> loadOrKeepBaseline(const std::string& path,
                                                  const std::string& label) {
        auto error = textOf(sim.loadFile(path));
        if (error) {
            EXPECT_FALSE(error->empty()) << label;
            EXPECT_EQ(listing(sim), baseline) << label << ": failed with " << *error;
        }
        return error;
    }

    void reinstallBaseline() { ASSERT_EQ(textOf(sim.loadText(BaselineProgram)), std::nullopt); }

    ScratchDir scratch;
    Session sim;
    std::string baseline;
};

std::string blockAround(const std::string& networks) {
    return "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n" + networks + "END_ORGANIZATION_BLOCK\n";
}

template <typename Node>
std::size_t chainLength(const Node* node) {
    std::size_t n = 0;
    for (; node != nullptr; node = node->Next.get()) {
        ++n;
    }
    return n;
}

std::size_t countOf(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
        ++n;
    }
    return n;
}

TEST_F(HostileInput, MillionLineProgramLoadsRunsListsAndIsReleased) {
    constexpr std::size_t Lines = 1'000'000;
    // One network: the instruction chain is as long as the file. U keeps the stack depth at
    // one, so the program also runs.
    std::string networks = "NETWORK 1\nLD E0.0\n";
    const std::size_t body = Lines - 5;
    for (std::size_t i = 0; i < body; ++i) {
        networks += (i % 2 == 0) ? "U E0.1\n" : "= A0.1\n";
    }
    const std::string text = blockAround(networks);
    ASSERT_EQ(countOf(text, "\n"), Lines);

    ASSERT_EQ(loadOrKeepBaseline(scratch.write("million.awl", text), "million"), std::nullopt);
    const Block* program = sim.cpu().getProgram();
    ASSERT_NE(program, nullptr);
    ASSERT_NE(program->Networks, nullptr);
    EXPECT_EQ(chainLength(program->Networks->Ops.get()), body + 1);

    sim.panel().InState = {1, 1, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(textOf(sim.scan()), std::nullopt);
    EXPECT_EQ(sim.panel().OutState[1], 1);

    const std::string listed = listing(sim);
    EXPECT_EQ(countOf(listed, "U E0.1\n"), (body + 1) / 2);
    EXPECT_EQ(countOf(listed, "= A0.1\n"), body / 2);

    // Releasing the tree must not recurse once per node.
    sim.cpu().setProgram(nullptr);
    EXPECT_EQ(sim.cpu().getProgram(), nullptr);
}

TEST_F(HostileInput, HundredThousandNetworks) {
    constexpr int Networks = 100'000;
    std::string networks;
    for (int id = 1; id <= Networks; ++id) {
        networks += "NETWORK " + std::to_string(id) + "\nLD M0.0\nNOT\n= M0.0\n";
    }
    ASSERT_EQ(loadOrKeepBaseline(scratch.write("networks.awl", blockAround(networks)), "nets"),
              std::nullopt);
    ASSERT_NE(sim.cpu().getProgram(), nullptr);
    EXPECT_EQ(chainLength(sim.cpu().getProgram()->Networks.get()),
              static_cast<std::size_t>(Networks));

    // Each network flips M0.0; an even count of them leaves it as it was.
    EXPECT_EQ(textOf(sim.scan()), std::nullopt);
    EXPECT_EQ(sim.cpu().area(Parameter::MType).readBit(0, 0), 0);

    const std::string listed = listing(sim);
    EXPECT_EQ(countOf(listed, "NETWORK "), static_cast<std::size_t>(Networks));
    EXPECT_NE(listed.find("NETWORK 100000\n"), std::string::npos);
    sim.cpu().setProgram(nullptr);
}

// Far beyond any buffer the scanner starts with, and near the most a load reads: it must either
// take the line whole or refuse it with an error that names the line, never end the process.
TEST_F(HostileInput, SixtyMegabyteCommentLine) {
    constexpr std::size_t Size = 60u << 20;
    std::string text = "ORGANIZATION_BLOCK MAIN:OB1\n//";
    text.append(Size, 'x');
    text += "\nBEGIN\nNETWORK 1\nLD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n";
    const std::string path = scratch.write("comment.awl", text);
    text.clear();
    text.shrink_to_fit();

    const auto error = loadOrKeepBaseline(path, "60 MB comment");
    if (error) {
        EXPECT_LT(error->size(), 200u) << "the error echoes the line";
        EXPECT_NE(error->find("(2)"), std::string::npos) << *error;
        return;
    }
    const Block* program = sim.cpu().getProgram();
    ASSERT_NE(program, nullptr);
    ASSERT_TRUE(program->Kommentar.has_value());
    EXPECT_EQ(program->Kommentar->size(), Size);
    EXPECT_EQ(textOf(sim.scan()), std::nullopt);
}

// A file beyond the bound is refused by its size, before a byte of it is read (these are NUL
// bytes, which the scanner would refuse at once).
TEST_F(HostileInput, ProgramBeyondTheBoundIsRefusedUnread) {
    const std::string path = scratch.write("sparse.awl", "");
    for (const std::size_t size : {MaxProgramBytes, MaxProgramBytes + 1}) {
        std::filesystem::resize_file(path, size);
        const auto error = loadOrKeepBaseline(path, std::to_string(size));
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(*error == ProgramTooLarge, size > MaxProgramBytes) << *error;
    }
}

struct ByteCase {
    const char* label;
    std::string text;
    // nullopt: the file loads. Otherwise the message up to the offending character.
    std::optional<std::string> errorPrefix;
};

const char* const Head = "ORGANIZATION_BLOCK MAIN:OB1\n";
const char* const Tail = "BEGIN\nNETWORK 1\nLD E0.0\n= A0.0\nEND_ORGANIZATION_BLOCK\n";

// A byte outside the name characters is text inside a comment or title and an unexpected
// character anywhere else; the error names its line.
std::vector<ByteCase> casesFor(char byte) {
    const std::string head = Head;
    const std::string tail = Tail;
    const std::string b(1, byte);
    return {
        {"in a block comment", head + "// a" + b + "b\n" + tail, std::nullopt},
        {"in a title", head + "TITLE=a" + b + "\n" + tail, std::nullopt},
        {"in an operand", head + "BEGIN\nNETWORK 1\nLD E0.0" + b + "\n", "Unexpected text(4):"},
        {"at the start", b + head + tail, "Unexpected text(1):"},
        {"after the end", head + tail + b, "Unexpected text(7):"},
    };
}

// `shown` is how the byte appears in the message.
void expectByteCases(Session& sim, const ScratchDir& scratch, const std::string& baseline,
                     char byte, const std::string& shown) {
    for (const ByteCase& c : casesFor(byte)) {
        SCOPED_TRACE(std::string(c.label) + ", byte " +
                     std::to_string(static_cast<unsigned char>(byte)));
        const auto error = textOf(sim.loadFile(scratch.write("byte.awl", c.text)));
        if (!c.errorPrefix) {
            ASSERT_EQ(error, std::nullopt);
            const Block* program = sim.cpu().getProgram();
            ASSERT_NE(program, nullptr);
            const auto& kept = program->Kommentar ? program->Kommentar : program->Title;
            ASSERT_TRUE(kept.has_value());
            EXPECT_NE(kept->find(byte), std::string::npos);
            ASSERT_EQ(textOf(sim.loadText(BaselineProgram)), std::nullopt);
        } else {
            EXPECT_EQ(error, *c.errorPrefix + shown);
            EXPECT_EQ(listing(sim), baseline);
        }
    }
}

TEST_F(HostileInput, NulBytes) {
    // A NUL byte cannot travel in the message: its text part is empty.
    expectByteCases(sim, scratch, baseline, '\0', "");
}

TEST_F(HostileInput, BytesOf128AndAbove) {
    for (int value = 128; value <= 255; ++value) {
        const char byte = static_cast<char>(value);
        expectByteCases(sim, scratch, baseline, byte, std::string(1, byte));
    }
}

TEST_F(HostileInput, RandomBinaryData) {
    std::mt19937 random(20240611u);
    std::uniform_int_distribution<int> byteOf(0, 255);
    std::uniform_int_distribution<std::size_t> sizeOf(0, 4096);
    for (int file = 0; file < 200; ++file) {
        std::string data(sizeOf(random), '\0');
        for (char& c : data) {
            c = static_cast<char>(byteOf(random));
        }
        // Half of them start as a valid program, so the noise reaches the parser too.
        if (file % 2 == 1) {
            data.insert(0, std::string(Head) + "BEGIN\nNETWORK 1\n");
        }
        const auto error =
            loadOrKeepBaseline(scratch.write("random.bin", data), "file " + std::to_string(file));
        if (!error) {
            reinstallBaseline();
        }
    }
}

// Lines built from real tokens in random order reach far deeper into the parser than noise.
TEST_F(HostileInput, RandomTokenSoup) {
    const std::vector<std::string> words = {"ORGANIZATION_BLOCK",
                                            "END_ORGANIZATION_BLOCK",
                                            "SUBROUTINE_BLOCK",
                                            "INTERRUPT_BLOCK",
                                            "NETWORK",
                                            "BEGIN",
                                            "TITLE=t",
                                            "// c",
                                            ":",
                                            "\n",
                                            "\n",
                                            "\n",
                                            " ",
                                            "MAIN",
                                            "1",
                                            "LD",
                                            "=",
                                            "U",
                                            "S",
                                            "R",
                                            "TON",
                                            "ZVR",
                                            "MOVW",
                                            "LSCR",
                                            "SCRT",
                                            "SCRE",
                                            "E0.0",
                                            "A0.7",
                                            "V99.7",
                                            "VW99",
                                            "T37",
                                            "Z1",
                                            "16#FF",
                                            "-5",
                                            "\r\n"};
    std::mt19937 random(77u);
    std::uniform_int_distribution<std::size_t> pick(0, words.size() - 1);
    for (int file = 0; file < 300; ++file) {
        std::string text = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\n";
        for (int i = 0; i < 60; ++i) {
            text += words[pick(random)];
            text += ' ';
        }
        const auto error =
            loadOrKeepBaseline(scratch.write("soup.awl", text), "soup " + std::to_string(file));
        if (!error) {
            for (int scan = 0; scan < 3; ++scan) {
                sim.advance(40);
                (void)sim.scan();
            }
            reinstallBaseline();
        }
    }
}

TEST_F(HostileInput, TruncatedAtEveryByteOffset) {
    const std::string full = readFile(KVX_EXAMPLES_DIR "/steps.awl");
    ASSERT_GT(full.size(), 500u);
    ASSERT_EQ(textOf(sim.loadText(full)), std::nullopt);
    const std::string fullListing = listing(sim);
    reinstallBaseline();

    const std::string path = (scratch.path() / "cut.awl").string();
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        const std::string label = "cut at " + std::to_string(cut);
        scratch.write("cut.awl", std::string_view(full).substr(0, cut));
        if (!loadOrKeepBaseline(path, label)) {
            // Only the whole program, with or without its last line break, is a program.
            EXPECT_EQ(listing(sim), fullListing) << label;
            reinstallBaseline();
        }
    }
}

TEST_F(HostileInput, DirectoryAsTheFile) {
    const std::string dir = scratch.path().string();
    const auto error = loadOrKeepBaseline(dir, "directory");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "File " + dir + " is a directory");
}

TEST_F(HostileInput, MissingFile) {
    const std::string path = (scratch.path() / "absent.awl").string();
    const auto error = loadOrKeepBaseline(path, "missing");
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(*error, "File " + path + " not found");
}

// Root reads any file whatever its mode, so the unreadable case runs in a child process that
// has given up root. The child reports through its exit status.
TEST_F(HostileInput, FileWithoutReadPermission) {
    namespace fs = std::filesystem;
    const std::string readable = scratch.write("readable.awl", BaselineProgram);
    const std::string locked = scratch.write("locked.awl", blockAround(""));
    fs::permissions(scratch.path(), fs::perms::owner_all | fs::perms::others_read |
                                        fs::perms::others_exec | fs::perms::group_read |
                                        fs::perms::group_exec);
    fs::permissions(readable,
                    fs::perms::owner_read | fs::perms::others_read | fs::perms::group_read);
    fs::permissions(locked, fs::perms::none);

    if (::geteuid() != 0) {
        const auto error = loadOrKeepBaseline(locked, "locked");
        ASSERT_TRUE(error.has_value());
        EXPECT_EQ(*error, "File " + locked + " not found");
        return;
    }
    enum Outcome {
        Refused = 0,
        NoDrop = 10,
        ControlFailed = 11,
        Loaded = 12,
        WrongError = 13,
        ProgramChanged = 14
    };
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        constexpr uid_t Nobody = 65534;
        if (::setgid(Nobody) != 0 || ::setuid(Nobody) != 0) {
            ::_exit(NoDrop);
        }
        Session unprivileged;
        if (unprivileged.loadFile(readable)) {
            ::_exit(ControlFailed);
        }
        const std::string before = listing(unprivileged);
        const auto error = textOf(unprivileged.loadFile(locked));
        if (!error) {
            ::_exit(Loaded);
        }
        if (*error != "File " + locked + " not found") {
            ::_exit(WrongError);
        }
        ::_exit(listing(unprivileged) == before ? Refused : ProgramChanged);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died with status " << status;
    if (WEXITSTATUS(status) == NoDrop) {
        GTEST_SKIP() << "running as root and unable to drop to an unprivileged user, so a file "
                        "without read permission is readable anyway";
    }
    EXPECT_EQ(WEXITSTATUS(status), Refused)
        << "10 no privilege drop, 11 readable file failed, 12 unreadable file loaded, "
           "13 other error text, 14 installed program changed";
}

} // namespace

} // namespace kvx
