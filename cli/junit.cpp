#include "cli/junit.h"

#include <algorithm>

namespace kvx {

namespace {

// Escapes for both text and attribute values. Control characters other than tab and line
// feed cannot appear in XML 1.0 at all, so they become '?'.
std::string xml(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            s += "&amp;";
            break;
        case '<':
            s += "&lt;";
            break;
        case '>':
            s += "&gt;";
            break;
        case '"':
            s += "&quot;";
            break;
        case '\'':
            s += "&apos;";
            break;
        default:
            s += static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' ? '?' : c;
        }
    }
    return s;
}

std::string describe(const ScenarioReport& r, const ScenarioFailure& f) {
    std::string line = failureText(r.name, f);
    if (!f.expected.empty() || !f.actual.empty()) {
        line += " (expected " + f.expected + ", actual " + f.actual + ")";
    }
    return line;
}

void writeCase(std::ostream& out, const std::string& program, const ScenarioReport& r) {
    out << "    <testcase classname=\"" << xml(program) << "\" name=\"" << xml(r.name)
        << "\" assertions=\"" << r.passed + static_cast<int>(r.failures.size()) << "\"";
    if (r.failures.empty()) {
        out << "/>\n";
        return;
    }
    const ScenarioFailure& first = r.failures.front();
    out << ">\n      <failure message=\"" << xml(describe(r, first)) << "\" type=\""
        << (first.expected.empty() && first.actual.empty() ? "error" : "check") << "\">";
    for (const auto& f : r.failures) {
        out << xml(describe(r, f)) << '\n';
    }
    out << "</failure>\n    </testcase>\n";
}

} // namespace

void writeJUnit(std::ostream& out, const std::string& program,
                std::span<const ScenarioReport> reports) {
    const auto failed =
        std::ranges::count_if(reports, [](const ScenarioReport& r) { return !r.failures.empty(); });
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites>\n"
        << "  <testsuite name=\"" << xml(program) << "\" tests=\"" << reports.size()
        << "\" failures=\"" << failed << "\" errors=\"0\">\n";
    for (const auto& r : reports) {
        writeCase(out, program, r);
    }
    out << "  </testsuite>\n</testsuites>\n";
}

} // namespace kvx
