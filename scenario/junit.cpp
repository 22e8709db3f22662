#include "scenario/junit.h"

#include <algorithm>

#include "session/text.h"

namespace kvx {

namespace {

constexpr std::string_view Replacement = "\xEF\xBF\xBD";

// Escapes for both text and attribute values. Control characters other than tab and line
// feed cannot appear in XML 1.0 at all, so they become '?'. Bytes that are not UTF-8, and the
// non-characters U+FFFE and U+FFFF, become U+FFFD: one such byte makes the whole document
// unreadable to an XML parser.
std::string xml(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Char c = utf8At(text, pos);
        if (!c.valid || c.code == 0xfffe || c.code == 0xffff) {
            s += Replacement;
        } else if (c.length > 1) {
            s.append(text.substr(pos, c.length));
        } else {
            switch (text[pos]) {
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
                s += c.code < 0x20 && c.code != '\t' && c.code != '\n' ? '?' : text[pos];
            }
        }
        pos += c.length;
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
        << "\" assertions=\"" << r.passed + r.failed() << "\"";
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
    if (r.moreFailures > 0) {
        out << "and " << r.moreFailures << " more failures\n";
    }
    out << "</failure>\n    </testcase>\n";
}

void writeLoadError(std::ostream& out, const std::string& program, const std::string& error) {
    out << "    <testcase classname=\"" << xml(program)
        << "\" name=\"load\" assertions=\"0\">\n      <error message=\"" << xml(error)
        << "\" type=\"load\">" << xml(error) << "\n</error>\n    </testcase>\n";
}

} // namespace

void writeJUnit(std::ostream& out, const std::string& program,
                std::span<const ScenarioReport> reports,
                const std::optional<std::string>& loadError) {
    const auto failed = std::count_if(reports.begin(), reports.end(),
                                      [](const ScenarioReport& r) { return r.failed() > 0; });
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<testsuites>\n"
        << "  <testsuite name=\"" << xml(program) << "\" tests=\""
        << reports.size() + (loadError ? 1 : 0) << "\" failures=\"" << failed << "\" errors=\""
        << (loadError ? 1 : 0) << "\">\n";
    if (loadError) {
        writeLoadError(out, program, *loadError);
    }
    for (const auto& r : reports) {
        writeCase(out, program, r);
    }
    out << "  </testsuite>\n</testsuites>\n";
}

} // namespace kvx
