#include "bench/bench_support.h"

#include "bench/programs.h"
#include <cstdio>
#include <cstdlib>

namespace kvx {

void fillPattern(CPU& cpu) {
    for (int k = 0; k < 4; ++k) {
        MemField& field = cpu.area(PatternAreas[k]);
        for (int i = 0; i < CPU::AreaSize; ++i) {
            field.writeByte(i, patternByte(k, i));
        }
    }
}

void loadForBenchmark(Session& session, const std::string& source) {
    if (const auto error = session.loadText(source)) {
        std::fprintf(stderr, "kvx-bench: a generated program does not load: %s\n",
                     error->getText());
        std::exit(EXIT_FAILURE);
    }
    fillPattern(session.cpu());
}

} // namespace kvx
