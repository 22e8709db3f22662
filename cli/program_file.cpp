#include "cli/program_file.h"

#include <iostream>
#include <iterator>
#include <regex>

#include "core/common.h"
#include "core/cpu.h"
#include "loader/parser.h"
#include "loader/reader.h"

ProgramFile::ProgramFile(std::string p) : path(std::move(p)) {
    if (path == "-") {
        displayName = "<stdin>";
        stdinText.emplace(std::istreambuf_iterator<char>(std::cin),
                          std::istreambuf_iterator<char>());
    } else {
        displayName = path;
    }
}

void ProgramFile::loadInto(CPU& cpu) const {
    if (stdinText) {
        StringRead reader(*stdinText);
        Parser{}.LoadInCPU(cpu, reader);
    } else {
        FRead reader(path);
        Parser{}.LoadInCPU(cpu, reader);
    }
}

std::string loadDiagnostic(const std::string& name, const CPUException& error) {
    // Only the loader's own messages carry a line: "Parse-error(7):..." and
    // "Unexpected text(3):...".
    const std::regex withLine(R"(^(?:Parse-error|Unexpected text)\((\d+)\):)");
    const std::string text = error.getText();
    std::smatch m;
    if (std::regex_search(text, m, withLine)) {
        return name + ":" + m.str(1) + ": error: " + text + "\n";
    }
    return name + ": error: " + text + "\n";
}
