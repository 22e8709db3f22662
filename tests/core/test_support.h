// Small helpers shared by the core tests: catching an error's text, and instructions written
// for the tests so a scan can be driven without the instruction set.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/common.h"
#include "core/cpu.h"
#include "core/program.h"

namespace kvx {

inline std::string errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const CPUException& ex) {
        return ex.getText();
    }
    return "";
}

// A test instruction whose behaviour is a lambda.
class LambdaOp final : public Operation {
public:
    using Body = std::function<void(CPU&)>;
    explicit LambdaOp(Body body, int single = 0, const char* name = "TEST")
        : Operation(nullptr, nullptr), run(std::move(body)), singleType(single), label(name) {}
    LambdaOp(const char* name, std::unique_ptr<Parameter> first)
        : Operation(std::move(first), nullptr), run([](CPU&) {}), label(name) {}
    void execute(CPU& c) override { run(c); }
    int IsSingleType() const noexcept override { return singleType; }
    const char* getName() const noexcept override { return label; }
    int getPopCount() const noexcept override { return 0; }
    int getKeepCount() const noexcept override { return 0; }
    int getPushCount() const noexcept override { return 0; }
    void reset() noexcept override { ++resets; }
    void check() const override {}

    int resets = 0;

private:
    Body run;
    int singleType = 0;
    const char* label;
};

using OpVector = std::vector<std::unique_ptr<Operation>>;

// Builds one block of the given type, one network per instruction vector.
template <typename... Nets>
std::unique_ptr<Block> makeTypedBlock(std::int32_t type, Nets... nets) {
    auto block = std::make_unique<Block>();
    block->Type = type;
    std::unique_ptr<Network>* netTail = &block->Networks;
    int id = 1;
    [[maybe_unused]] auto addNetwork = [&](OpVector ops) {
        *netTail = std::make_unique<Network>();
        (*netTail)->ID = id++;
        std::unique_ptr<OpList>* opTail = &(*netTail)->Ops;
        for (auto& op : ops) {
            *opTail = std::make_unique<OpList>();
            (*opTail)->Op = std::move(op);
            opTail = &(*opTail)->Next;
        }
        netTail = &(*netTail)->Next;
    };
    (addNetwork(std::move(nets)), ...);
    return block;
}

template <typename... Nets>
std::unique_ptr<Block> makeBlock(Nets... nets) {
    return makeTypedBlock(Block::Organization, std::move(nets)...);
}

template <typename... Ops>
OpVector ops(Ops&&... op) {
    OpVector list;
    (list.push_back(std::forward<Ops>(op)), ...);
    return list;
}

inline std::unique_ptr<Operation> opDoing(LambdaOp::Body body) {
    return std::make_unique<LambdaOp>(std::move(body));
}

} // namespace kvx
