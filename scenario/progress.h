// A progress line on standard error for runs long enough to look hung.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace kvx {

// Shows "LABEL: scan DONE of TOTAL (P%)" on one terminal line that it rewrites in place, but
// only once the run has taken about two seconds: short runs, the usual case, print nothing.
// Without a stream it does nothing at all, which is what every output that is not a terminal
// gets.
class Progress final {
public:
    Progress(std::ostream* to, std::string label, std::uint64_t total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // `done` scans of `total` have run. Cheap enough for every scan: it looks at the clock
    // only every few hundred scans.
    void update(std::uint64_t done) {
        if (to != nullptr && (done & (CheckEvery - 1)) == 0) {
            show(done);
        }
    }
    // Takes the line away, so other output starts at the left margin; a later update shows it
    // again.
    void clear();

private:
    static constexpr std::uint64_t CheckEvery = 256;
    void show(std::uint64_t done);

    std::ostream* to;
    std::string label;
    std::uint64_t total;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point shownAt;
    bool visible = false;
};

} // namespace kvx
