// The listing writes a program back in the form the loader reads, so a listing loads again as
// the same program.

#include "core/common.h"
#include "core/cpu.h"
#include "core/program.h"

namespace kvx {

namespace {
const char* blockKeyword(std::int32_t type) noexcept {
    switch (type) {
    case Block::Organization:
        return "ORGANIZATION_BLOCK ";
    case Block::Subroutine:
        return "SUBROUTINE_BLOCK ";
    case Block::Interrupt:
        return "INTERRUPT_BLOCK ";
    default:
        return "";
    }
}

const char* blockEnd(std::int32_t type) noexcept {
    switch (type) {
    case Block::Organization:
        return "END_ORGANIZATION_BLOCK\n";
    case Block::Subroutine:
        return "END_SUBROUTINE_BLOCK\n";
    case Block::Interrupt:
        return "END_INTERRUPT_BLOCK\n";
    default:
        return "";
    }
}

void printComment(Writer& w, const std::string* text) {
    if (text == nullptr) {
        return;
    }
    w.write("//");
    for (char c : *text) {
        w.write(c);
        if (c == '\n') {
            w.write("//");
        }
    }
    w.write('\n');
}

void writeOr(Writer& w, const std::optional<std::string>& text, const char* fallback) {
    w.write(text ? std::string_view(*text) : std::string_view(fallback));
}

void printOne(Writer& w, const OpList& node) {
    if (w.nodeStarts(node) && node.Op) {
        node.Op->print(w);
    }
    w.write('\n');
}

void printOne(Writer& w, const Network& net) {
    w.write("NETWORK ");
    // Printed unsigned: the loader reads network numbers as unsigned digits, so an ID of
    // 2^31 or more must come back as the same digits.
    w.write(static_cast<std::uint32_t>(net.ID));
    if (net.Title) {
        w.write(" //");
        w.write(*net.Title);
    }
    w.write('\n');
    PrintKomm(w, net.Kommentar);
    if (net.Ops) {
        net.Ops->print(w);
    }
    w.write('\n');
}

void printOne(Writer& w, const Block& block) {
    w.write(blockKeyword(block.Type));
    writeOr(w, block.Name, "Unknown");
    w.write(':');
    writeOr(w, block.AddInfo, "Unknown");
    w.write("\nTITLE=");
    if (block.Title) {
        w.write(*block.Title);
    }
    w.write('\n');
    PrintKomm(w, block.Kommentar);
    w.write("\nBEGIN\n");
    if (block.Networks) {
        block.Networks->print(w);
    }
    w.write(blockEnd(block.Type));
    w.write('\n');
}

template <typename Node>
void printChain(Writer& w, const Node& first) {
    for (const Node* node = &first; node != nullptr; node = node->Next.get()) {
        printOne(w, *node);
    }
}
} // namespace

void PrintKomm(Writer& w, const std::optional<std::string>& text) {
    printComment(w, text ? &*text : nullptr);
}

void PrintKomm(Writer& w, const OptionalText& text) {
    printComment(w, text.get());
}

void OpList::print(Writer& w) const {
    printChain(w, *this);
}

void Network::print(Writer& w) const {
    printChain(w, *this);
}

void Block::print(Writer& w) const {
    printChain(w, *this);
}

void CPU::print(Writer& w) const {
    if (prog) {
        prog->print(w);
    }
}

} // namespace kvx
