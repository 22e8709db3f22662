// The editor highlighting of *.awl files, run through the real highlighter of the editors that
// read the definition. Every word must get the style of what the loader takes it for.
//
// The highlighter prints HTML with colours only. A theme written here gives each style of the
// definition a colour of its own, so that each colour names the style it came from.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "instructions/instruction_table.h"

namespace fs = std::filesystem;

namespace {

// What the loader accepts as mnemonics, matched exactly: the rows of the instruction table.
const std::set<std::string, std::less<>> Mnemonics = [] {
    std::set<std::string, std::less<>> all;
    for (const kvx::InstructionRow& row : kvx::instructionRows()) {
        all.emplace(row.mnemonic);
    }
    return all;
}();

const std::set<std::string, std::less<>> BlockBegins = {"ORGANIZATION_BLOCK", "SUBROUTINE_BLOCK",
                                                        "INTERRUPT_BLOCK"};
const std::set<std::string, std::less<>> BlockEnds = {
    "END_ORGANIZATION_BLOCK", "END_SUBROUTINE_BLOCK", "END_INTERRUPT_BLOCK"};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string quoted(const std::string& s) {
    std::string out = "'";
    for (const char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

struct Finished {
    int status = -1;
    std::string out;
};

Finished runShell(const std::string& command) {
    Finished result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        result.out.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// The highlighter's name differs between distributions and framework versions.
std::optional<fs::path> findHighlighter() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        for (const char* name :
             {"kate-syntax-highlighter", "ksyntaxhighlighter5", "ksyntaxhighlighter6"}) {
            const fs::path candidate = fs::path(dir) / name;
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate;
            }
        }
    }
    return std::nullopt;
}

// One style name for every character of a line; blanks may carry any style.
using LineStyles = std::vector<std::string>;

class Highlighter final {
public:
    Highlighter(fs::path tool, const fs::path& definition) : tool(std::move(tool)) {
        std::string pattern = (fs::temp_directory_path() / "kvx-awl-highlight-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        home = pattern;
        // Only the definition under test and the probe theme are found: no user's or
        // system's copy of the definition can stand in for it.
        const fs::path data = home / "org.kde.syntax-highlighting";
        fs::create_directories(data / "syntax");
        fs::create_directories(data / "themes");
        fs::create_directories(home / "none");
        fs::copy_file(definition, data / "syntax" / "awl.xml");

        const std::string xml = readFile(definition);
        const std::regex nameAttribute(R"re(<language\s[^>]*\bname="([^"]+)")re");
        std::smatch m;
        if (std::regex_search(xml, m, nameAttribute)) {
            language = m[1];
        }
        const std::regex itemData(R"re(<itemData\s+name="([^"]+)")re");
        for (auto it = std::sregex_iterator(xml.begin(), xml.end(), itemData);
             it != std::sregex_iterator(); ++it) {
            styles.push_back((*it)[1]);
        }
        writeProbeTheme(data / "themes" / "probe.theme");
    }
    ~Highlighter() {
        std::error_code ignored;
        fs::remove_all(home, ignored);
    }
    Highlighter(const Highlighter&) = delete;
    Highlighter& operator=(const Highlighter&) = delete;

    const std::vector<std::string>& styleNames() const { return styles; }
    const std::string& languageName() const { return language; }

    // The file is named *.awl, so the highlighter has to pick the definition by its extension.
    std::vector<LineStyles> highlight(const fs::path& file, std::string* generator = nullptr) {
        const fs::path errors = home / "stderr";
        const Finished run = runShell("env XDG_DATA_HOME=" + quoted(home.string()) +
                                      " XDG_DATA_DIRS=" + quoted((home / "none").string()) + " " +
                                      quoted(tool.string()) + " -t Probe -f html " +
                                      quoted(file.string()) + " 2>" + quoted(errors.string()));
        if (run.status != 0) {
            throw std::runtime_error("highlighter failed: " + readFile(errors));
        }
        if (generator != nullptr) {
            const std::regex meta(R"re(name="generator" content="([^"]*)")re");
            std::smatch m;
            *generator = std::regex_search(run.out, m, meta) ? std::string(m[1]) : "";
        }
        return parseHtml(run.out);
    }

private:
    static std::string colourOf(std::size_t index) {
        std::array<char, 24> text{};
        std::snprintf(text.data(), text.size(), "#%06zx", index + 1);
        return text.data();
    }

    void writeProbeTheme(const fs::path& path) {
        std::ofstream out(path);
        out << R"({"metadata": {"name": "Probe", "revision": 1},)"
            << R"("text-styles": {"Normal": {"text-color": "#000000"}},)"
            << R"("editor-colors": {}, "custom-styles": {")" << language << R"(": {)";
        for (std::size_t i = 0; i < styles.size(); ++i) {
            out << (i ? ", " : "") << '"' << styles[i] << R"(": {"text-color": ")" << colourOf(i)
                << R"("})";
            byColour[colourOf(i)] = styles[i];
        }
        out << "}}}\n";
    }

    static std::string decode(std::string_view html) {
        static const std::array<std::pair<std::string_view, char>, 5> entities{
            {{"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&#39;", '\''}}};
        std::string out;
        for (std::size_t i = 0; i < html.size();) {
            bool replaced = false;
            for (const auto& [entity, c] : entities) {
                if (html.substr(i).starts_with(entity)) {
                    out += c;
                    i += entity.size();
                    replaced = true;
                    break;
                }
            }
            if (!replaced) {
                out += html[i++];
            }
        }
        return out;
    }

    // Text outside a span has the theme's normal colour, which no style of the definition has.
    std::vector<LineStyles> parseHtml(const std::string& html) const {
        const auto begin = html.find("<pre>");
        const auto end = html.rfind("</pre>");
        if (begin == std::string::npos || end == std::string::npos) {
            throw std::runtime_error("no <pre> in the highlighter's output");
        }
        std::string body = html.substr(begin + 5, end - begin - 5);
        // As in HTML itself, a line break right after <pre> is no line of the text.
        if (body.starts_with('\n')) {
            body.erase(0, 1);
        }
        std::vector<LineStyles> lines(1);
        const auto append = [&lines](const std::string& text, const std::string& style) {
            for (const char c : text) {
                if (c == '\n') {
                    lines.emplace_back();
                } else {
                    lines.back().push_back(style);
                }
            }
        };
        const std::regex span(R"re(<span style="([^"]*)">([^<]*)</span>)re");
        const std::regex colour(R"re(color:(#[0-9a-fA-F]{6}))re");
        std::size_t pos = 0;
        for (auto it = std::sregex_iterator(body.begin(), body.end(), span);
             it != std::sregex_iterator(); ++it) {
            append(decode(body.substr(pos, static_cast<std::size_t>(it->position()) - pos)),
                   "unstyled");
            const std::string style = (*it)[1];
            std::smatch c;
            std::string name = "unstyled";
            if (std::regex_search(style, c, colour)) {
                const auto known = byColour.find(c[1]);
                name = known != byColour.end() ? known->second : "colour " + std::string(c[1]);
            }
            append(decode((*it)[2].str()), name);
            pos = static_cast<std::size_t>(it->position() + it->length());
        }
        append(decode(body.substr(pos)), "unstyled");
        if (lines.back().empty()) {
            lines.pop_back();
        }
        return lines;
    }

    fs::path tool;
    fs::path home;
    std::string language;
    std::vector<std::string> styles;
    std::map<std::string, std::string> byColour;
};

bool isWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 ||
           std::string_view("_#.+-=").find(c) != std::string_view::npos;
}

bool allDigits(std::string_view s, int base) {
    const std::string_view digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (const char c : s) {
        const auto d = digits.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
        if (d == std::string_view::npos || static_cast<int>(d) >= base) {
            return false;
        }
    }
    return true;
}

// The style an operand word should have, read the way the loader's operand reader reads it.
std::string operandStyle(std::string_view w) {
    const auto address = [](std::string_view rest) {
        if (!rest.empty() && std::string_view("BWD").find(rest[0]) != std::string_view::npos) {
            return rest.size() > 1 && allDigits(rest.substr(1), 10);
        }
        const auto dot = rest.find('.');
        return dot != std::string_view::npos && dot > 0 && allDigits(rest.substr(0, dot), 10) &&
               rest.size() == dot + 2 && rest[dot + 1] >= '0' && rest[dot + 1] <= '7';
    };
    static const std::array<std::pair<std::string_view, std::string_view>, 6> Areas{{
        {"SM", "Special Memory"},
        {"E", "Input"},
        {"A", "Output"},
        {"M", "Flag"},
        {"V", "Variable Memory"},
        {"S", "Sequence Relay"},
    }};
    for (const auto& [letters, style] : Areas) {
        if (w.starts_with(letters)) {
            return address(w.substr(letters.size())) ? std::string(style) : "Error";
        }
    }
    if (w.starts_with('T') || w.starts_with('Z')) {
        const bool ok = w.size() > 1 && allDigits(w.substr(1), 10);
        return !ok ? "Error" : w[0] == 'T' ? "Timer" : "Counter";
    }
    std::string_view n = w;
    if (n.starts_with('+')) {
        n.remove_prefix(1);
    }
    if (const auto hash = n.find('#'); hash != std::string_view::npos) {
        if (hash == 0 || hash > 2 || !allDigits(n.substr(0, hash), 10)) {
            return "Error";
        }
        const int base = std::stoi(std::string(n.substr(0, hash)));
        return base >= 2 && base <= 35 && allDigits(n.substr(hash + 1), base) ? "Based Number"
                                                                              : "Error";
    }
    if (n.starts_with('-')) {
        n.remove_prefix(1);
    }
    return !n.empty() && allDigits(n, 10) ? "Decimal" : "Error";
}

// The styles a line should get, from the layout the loader reads: the first word decides
// what the rest of the line is. Blanks are left empty, meaning any style.
LineStyles expectedStyles(const std::string& line) {
    LineStyles out(line.size());
    struct Token {
        std::size_t at;
        std::size_t size;
    };
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t') {
            ++i;
        } else if (line.compare(i, 2, "//") == 0) {
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(i), out.end(), "Comment");
            break;
        } else if (tokens.empty() && line.compare(i, 6, "TITLE=") == 0) {
            std::fill(out.begin() + static_cast<std::ptrdiff_t>(i), out.end(), "Title");
            std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(i), 6, "Structure");
            return out;
        } else {
            std::size_t n = 1;
            while (isWordChar(line[i]) && i + n < line.size() && isWordChar(line[i + n])) {
                ++n;
            }
            tokens.push_back({i, n});
            i += n;
        }
    }
    if (tokens.empty()) {
        return out;
    }
    const auto text = [&line](const Token& t) { return line.substr(t.at, t.size); };
    const auto paint = [&out](const Token& t, const std::string& style) {
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(t.at), t.size, style);
    };
    const std::string first = text(tokens[0]);
    std::string rest = "Error";
    if (BlockBegins.contains(first)) {
        paint(tokens[0], "Block");
        for (std::size_t k = 1; k < tokens.size(); ++k) {
            const std::string t = text(tokens[k]);
            paint(tokens[k], t == ":" ? "Symbol" : isWordChar(t[0]) ? "Block Name" : "Error");
        }
        return out;
    }
    if (BlockEnds.contains(first) || first == "BEGIN" || first == "NETWORK") {
        paint(tokens[0], BlockEnds.contains(first) ? "Block" : "Structure");
        for (std::size_t k = 1; k < tokens.size(); ++k) {
            const bool number = first == "NETWORK" && k == 1 && allDigits(text(tokens[k]), 10);
            paint(tokens[k], number ? "Network Number" : "Error");
        }
        return out;
    }
    paint(tokens[0], Mnemonics.contains(first) ? "Instruction" : "Error");
    for (std::size_t k = 1; k < tokens.size(); ++k) {
        paint(tokens[k], operandStyle(text(tokens[k])));
    }
    return out;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

// "" when every character that has an expected style got it, else the first difference.
std::string compareLine(const std::string& line, const LineStyles& expected,
                        const LineStyles& got) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (expected[i].empty()) {
            continue;
        }
        const std::string actual = i < got.size() ? got[i] : "nothing";
        if (actual != expected[i]) {
            std::size_t end = i;
            while (end < line.size() && expected[end] == expected[i]) {
                ++end;
            }
            return "'" + line.substr(i, end - i) + "' at column " + std::to_string(i + 1) +
                   ": expected " + expected[i] + ", got " + actual;
        }
    }
    return "";
}

class AwlHighlighting : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (const auto tool = findHighlighter()) {
            highlighter = new Highlighter(*tool, KVX_AWL_DEFINITION);
        }
    }
    static void TearDownTestSuite() {
        delete highlighter;
        highlighter = nullptr;
    }
    void SetUp() override {
        if (highlighter == nullptr) {
            GTEST_SKIP() << "no kate-syntax-highlighter on PATH (Debian package "
                            "libkf5syntaxhighlighting-tools)";
        }
    }

    // Highlights the lines as one *.awl file; one style list per line.
    std::vector<LineStyles> highlightLines(const std::vector<std::string>& lines) {
        const fs::path file =
            fs::temp_directory_path() / ("kvx-highlight-" + std::to_string(getpid()) + ".awl");
        {
            std::ofstream out(file);
            for (const auto& line : lines) {
                out << line << '\n';
            }
        }
        auto result = highlighter->highlight(file);
        fs::remove(file);
        return result;
    }

    // The style of the word at index `word` (blank-separated) of each line.
    std::string styleOfWord(const std::string& line, const LineStyles& styles, std::size_t word) {
        std::size_t at = 0;
        for (std::size_t k = 0;; ++k) {
            at = line.find_first_not_of(' ', at);
            const std::size_t end = std::min(line.find(' ', at), line.size());
            if (k == word) {
                std::set<std::string> seen(styles.begin() + static_cast<std::ptrdiff_t>(at),
                                           styles.begin() + static_cast<std::ptrdiff_t>(end));
                if (seen.size() != 1) {
                    return "mixed";
                }
                return *seen.begin();
            }
            at = end;
        }
    }

    static inline Highlighter* highlighter = nullptr;
};

TEST_F(AwlHighlighting, DefinitionIsPickedByTheFileExtension) {
    std::string generator;
    highlighter->highlight(fs::path(KVX_EXAMPLES_DIR) / "lamps.awl", &generator);
    EXPECT_NE(generator.find("Definition (" + highlighter->languageName() + ")"), std::string::npos)
        << generator;
}

// Every line of every example program and of a program that uses each mnemonic and operand
// area: each word has the style the file layout gives it.
TEST_F(AwlHighlighting, ProgramsGetTheStylesOfTheirWords) {
    std::vector<fs::path> programs = {fs::path(KVX_TEST_DATA) / "every_instruction.awl"};
    for (const auto& entry : fs::directory_iterator(KVX_EXAMPLES_DIR)) {
        if (entry.path().extension() == ".awl") {
            programs.push_back(entry.path());
        }
    }
    ASSERT_GE(programs.size(), 2U);
    for (const auto& program : programs) {
        const auto lines = splitLines(readFile(program));
        const auto got = highlighter->highlight(program);
        ASSERT_EQ(got.size(), lines.size()) << program;
        for (std::size_t n = 0; n < lines.size(); ++n) {
            const std::string difference = compareLine(lines[n], expectedStyles(lines[n]), got[n]);
            EXPECT_EQ(difference, "")
                << program.filename().string() << ':' << n + 1 << ": " << lines[n];
        }
    }
}

// The program above really is one the loader takes, and it uses every mnemonic of the
// instruction table, each highlighted as an instruction.
TEST_F(AwlHighlighting, EveryMnemonicIsAnInstruction) {
    const fs::path program = fs::path(KVX_TEST_DATA) / "every_instruction.awl";
    const Finished check = runShell(quoted(KVX_BINARY) + " check " + quoted(program) + " 2>&1");
    ASSERT_EQ(check.status, 0) << check.out;

    const auto lines = splitLines(readFile(program));
    const auto got = highlighter->highlight(program);
    std::set<std::string, std::less<>> instructions;
    for (std::size_t n = 0; n < lines.size() && n < got.size(); ++n) {
        const std::string first = lines[n].substr(0, lines[n].find(' '));
        if (Mnemonics.contains(first) && styleOfWord(lines[n], got[n], 0) == "Instruction") {
            instructions.insert(first);
        }
    }
    EXPECT_EQ(instructions, Mnemonics);
}

// Words in the place of a mnemonic that the loader rejects, each checked with kvx too.
TEST_F(AwlHighlighting, UnknownMnemonicsAreNotInstructions) {
    const std::vector<std::string> unknown = {"LDX",  "ld",    "Ld",  "LDW",  "UB",   "MOV",
                                              "==",   "=A0.0", "SCR", "NOP",  "TONR", "ZV",
                                              "LDW<", "XOR",   "A",   "E0.0", "12",   "begin"};
    std::vector<std::string> lines;
    for (const auto& word : unknown) {
        lines.push_back(word + " E0.0");
    }
    const auto got = highlightLines(lines);
    ASSERT_EQ(got.size(), lines.size());
    for (std::size_t n = 0; n < lines.size(); ++n) {
        EXPECT_EQ(styleOfWord(lines[n], got[n], 0), "Error") << lines[n];
        EXPECT_EQ(styleOfWord(lines[n], got[n], 1), "Input") << lines[n];

        const std::string program = "ORGANIZATION_BLOCK MAIN:OB1\nBEGIN\nNETWORK 1\n" + lines[n] +
                                    "\nEND_ORGANIZATION_BLOCK\n";
        const Finished check = runShell("printf '%s' " + quoted(program) + " | " +
                                        quoted(KVX_BINARY) + " check - 2>&1");
        EXPECT_NE(check.status, 0) << "kvx takes " << lines[n];
    }
}

TEST_F(AwlHighlighting, OperandsGetTheStyleOfTheirArea) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"E0.3", "Input"},
        {"EB0", "Input"},
        {"EW12", "Input"},
        {"ED4", "Input"},
        {"A0.0", "Output"},
        {"AB0", "Output"},
        {"AW2", "Output"},
        {"M10.7", "Flag"},
        {"MW2", "Flag"},
        {"V2.0", "Variable Memory"},
        {"VB10", "Variable Memory"},
        {"VD4", "Variable Memory"},
        {"SM0.1", "Special Memory"},
        {"SMB0", "Special Memory"},
        {"SMW2", "Special Memory"},
        {"S0.4", "Sequence Relay"},
        {"SB1", "Sequence Relay"},
        {"T37", "Timer"},
        {"T0", "Timer"},
        {"Z1", "Counter"},
        {"Z255", "Counter"},
        {"0", "Decimal"},
        {"300", "Decimal"},
        {"-1", "Decimal"},
        {"+5", "Decimal"},
        {"+-5", "Decimal"},
        {"16#FF", "Based Number"},
        {"16#ff", "Based Number"},
        {"2#1010", "Based Number"},
        {"8#17", "Based Number"},
        {"+16#7F", "Based Number"},
        {"35#Y", "Based Number"},
        // Rejected by the loader: they must not look like operands.
        {"E0.8", "Error"},
        {"E0.38", "Error"},
        {"E0", "Error"},
        {"EB", "Error"},
        {"EX0", "Error"},
        {"Q0.0", "Error"},
        {"SM0", "Error"},
        {"T", "Error"},
        {"T3a", "Error"},
        {"Z-1", "Error"},
        {"2#102", "Error"},
        {"16#FG", "Error"},
        {"8#8", "Error"},
        {"1#0", "Error"},
        {"36#0", "Error"},
        {"1.5", "Error"},
        {"e0.0", "Error"},
    };
    std::vector<std::string> lines;
    for (const auto& [operand, style] : cases) {
        lines.push_back("LD " + operand);
        lines.push_back("MOVW 1 " + operand + " // second place");
    }
    const auto got = highlightLines(lines);
    ASSERT_EQ(got.size(), lines.size());
    for (std::size_t n = 0; n < lines.size(); ++n) {
        const auto& [operand, style] = cases[n / 2];
        EXPECT_EQ(styleOfWord(lines[n], got[n], n % 2 == 0 ? 1 : 2), style) << lines[n];
        // The table and the reading that checks the programs agree.
        EXPECT_EQ(operandStyle(operand), style) << operand;
    }
}

TEST_F(AwlHighlighting, CommentsTitlesAndStructure) {
    const std::vector<std::string> lines = {
        "// a comment line with LD E0.0 and NETWORK in it",
        "   // an indented one",
        "NETWORK 12 // the network's title",
        "NETWORK x",
        "NETWORK 3 4",
        "TITLE=Motor // with a slash LD",
        "ORGANIZATION_BLOCK MAIN:OB1",
        "INTERRUPT_BLOCK INT_0:INT0 // comment",
        "END_INTERRUPT_BLOCK",
        "BEGIN",
        "BEGIN LD",
        "LD E0.0 // after an instruction",
        "LD E0.0//without a blank",
        "UN E0.1 ;",
    };
    const auto got = highlightLines(lines);
    ASSERT_EQ(got.size(), lines.size());
    for (std::size_t n = 0; n < lines.size(); ++n) {
        EXPECT_EQ(compareLine(lines[n], expectedStyles(lines[n]), got[n]), "") << lines[n];
    }
    // The reading above is checked itself on a few of them.
    EXPECT_EQ(expectedStyles(lines[0]).front(), "Comment");
    EXPECT_EQ(expectedStyles(lines[2])[8], "Network Number");
    EXPECT_EQ(expectedStyles(lines[3])[8], "Error");
    EXPECT_EQ(expectedStyles(lines[4]).back(), "Error");
    EXPECT_EQ(expectedStyles(lines[5]).back(), "Title");
    EXPECT_EQ(expectedStyles(lines[6])[23], "Symbol");
    EXPECT_EQ(expectedStyles(lines[10])[6], "Error");
    EXPECT_EQ(expectedStyles(lines[12]).back(), "Comment");
    EXPECT_EQ(expectedStyles(lines[13]).back(), "Error");
}

} // namespace
