// Runs the kvx program as a child process, as its users do, for the runner's tests.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern char** environ;

namespace kvx {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
}

// "{data}" stands for the fixture folder, "{examples}" for the example programs, "{tmp}" for the
// test's own temp folder and "{scn}" for the scenario written there.
inline std::string expand(std::string text, const fs::path& tmp) {
    const std::pair<std::string, std::string> names[] = {
        {"{data}", KVX_TEST_DATA},
        {"{examples}", KVX_EXAMPLES},
        {"{tmp}", tmp.string()},
        {"{scn}", (tmp / "s.scn").string()},
    };
    for (const auto& [from, to] : names) {
        for (auto pos = text.find(from); pos != std::string::npos;
             pos = text.find(from, pos + to.size())) {
            text.replace(pos, from.size(), to);
        }
    }
    return text;
}

// How a child's standard streams and limits are set up.
struct ChildSetup {
    int in = -1;
    int out = -1;
    int err = -1;
    // SIGPIPE ignored rather than at its default, as some shells and CI runners leave it.
    bool ignoreSigpipe = false;
    // A limit on the address space, in bytes.
    std::optional<rlim_t> memoryLimit;
};

inline ChildSetup streams(int in, int out, int err) {
    ChildSetup setup;
    setup.in = in;
    setup.out = out;
    setup.err = err;
    return setup;
}

// The runner under test: the native one, or the one KVX_TEST_BINARY names (the WebAssembly
// build under Node runs the same tests, so that the two cannot drift apart).
inline std::string kvxBinary() {
    const char* other = std::getenv("KVX_TEST_BINARY");
    return other != nullptr && *other != '\0' ? other : KVX_BINARY;
}

// Starts kvx with `args` (not expanded); returns its process id, or -1.
inline pid_t startKvx(const std::vector<std::string>& args, const ChildSetup& setup) {
    std::vector<std::string> words{kvxBinary()};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& w : words) {
        argv.push_back(w.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid != 0) {
        return pid;
    }
    // Only async-signal-safe calls from here on.
    const int fds[] = {setup.in, setup.out, setup.err};
    for (int target = 0; target < 3; ++target) {
        if (fds[target] >= 0 && dup2(fds[target], target) < 0) {
            _exit(127);
        }
    }
    signal(SIGPIPE, setup.ignoreSigpipe ? SIG_IGN : SIG_DFL);
    if (setup.memoryLimit) {
        const rlimit limit{*setup.memoryLimit, *setup.memoryLimit};
        setrlimit(RLIMIT_AS, &limit);
    }
    execve(argv[0], argv.data(), environ);
    _exit(127);
}

// The exit code, or 128 + the signal that ended it.
inline int waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

inline std::string joined(const std::vector<std::string>& args) {
    std::string s = "kvx";
    for (const auto& a : args) {
        s += " " + a;
    }
    return s;
}

class KvxTest : public ::testing::Test {
public:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kvx-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        tmp = pattern;
    }
    void TearDown() override { fs::remove_all(tmp); }

    // Standard input, output and error go through files, so no pipe can fill up and block.
    // `setup` gives the limits; its streams are ignored.
    Result kvx(const std::vector<std::string>& args, const std::string& input = "",
               ChildSetup setup = {}) {
        writeFile(tmp / "stdin", input);
        std::vector<std::string> words;
        for (const auto& a : args) {
            words.push_back(expand(a, tmp));
        }
        const std::string out = (tmp / "stdout").string();
        const std::string err = (tmp / "stderr").string();
        setup.in = open((tmp / "stdin").c_str(), O_RDONLY | O_CLOEXEC);
        setup.out = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        setup.err = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid = startKvx(words, setup);
        for (const int fd : {setup.in, setup.out, setup.err}) {
            close(fd);
        }
        Result r;
        if (pid < 0) {
            ADD_FAILURE() << "cannot start " << kvxBinary();
            return r;
        }
        r.code = waitFor(pid);
        r.out = readFile(out);
        r.err = readFile(err);
        return r;
    }

    // Runs `kvx test` on the test panel program with `scenario` as {scn}.
    Result scenario(const std::string& text, std::vector<std::string> extra = {}) {
        writeFile(tmp / "s.scn", text);
        std::vector<std::string> args{"test", "{data}/panel.awl", "{scn}"};
        args.insert(args.end(), extra.begin(), extra.end());
        return kvx(args);
    }

    std::string x(const std::string& text) const { return expand(text, tmp); }

    // Runs kvx with `args` and checks that it refuses the command line with `message` (both
    // expanded), exit status 2 and nothing on standard output.
    void expectUsageError(const std::vector<std::string>& args, const std::string& message) {
        SCOPED_TRACE(joined(args));
        const Result r = kvx(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, x("kvx: " + message + "\nTry 'kvx --help' for more information.\n"));
    }

    fs::path tmp;
};

} // namespace kvx
