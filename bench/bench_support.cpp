#include "bench/bench_support.h"

#include "bench/programs.h"
#include "loader/parser.h"
#include "loader/reader.h"

void fillPattern(CPU& cpu) {
    for (int k = 0; k < 4; ++k) {
        MemField& field = cpu.area(PatternAreas[k]);
        for (int i = 0; i < CPU::AreaSize; ++i) {
            field.writeByte(i, patternByte(k, i));
        }
    }
}

LoadedCpu::LoadedCpu(const std::string& source) {
    StringRead reader(source);
    Parser{}.LoadInCPU(cpu, reader);
    cpu.reset();
    fillPattern(cpu);
}
