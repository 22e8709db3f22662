#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/cpu.h"
#include "test_support.h"

namespace kvx {

namespace {

TEST(ListingTest, CommentsGetSlashesOnEveryLine) {
    struct Case {
        std::optional<std::string> text;
        const char* listed;
    } cases[] = {
        {std::nullopt, ""},           {"", "//\n"}, {" one", "// one\n"}, {"a\nb", "//a\n//b\n"},
        {"a\nb\n", "//a\n//b\n//\n"},
    };
    for (const auto& c : cases) {
        StringWriter w;
        PrintKomm(w, c.text);
        EXPECT_EQ(w.str(), c.listed) << "comment '" << c.text.value_or("<null>") << "'";
    }
}

TEST(ListingTest, BlocksNetworksAndInstructions) {
    SimClock clock;
    CPU cpu(clock);
    auto main = makeBlock(ops(std::make_unique<LambdaOp>("LD", cpu.parserParameter("E0.0")),
                              std::make_unique<LambdaOp>("=", cpu.parserParameter("A0.0"))),
                          ops());
    main->Name = "MAIN";
    main->AddInfo = "OB1";
    main->Title = "Lamps";
    main->Kommentar = " two lamps";
    main->Networks->Title = " lamp 1";
    main->Networks->Kommentar = "a\nb";
    main->Networks->Next->ID = -1;
    auto unnamed = makeTypedBlock(Block::Subroutine);
    unnamed->Networks = nullptr;
    main->Next = std::move(unnamed);
    main->Next->Next = makeTypedBlock(7);
    cpu.setProgram(std::move(main));
    StringWriter w;
    cpu.print(w);
    EXPECT_EQ(w.str(), "ORGANIZATION_BLOCK MAIN:OB1\n"
                       "TITLE=Lamps\n"
                       "// two lamps\n"
                       "\n"
                       "BEGIN\n"
                       "NETWORK 1 // lamp 1\n"
                       "//a\n"
                       "//b\n"
                       "LD E0.0\n"
                       "= A0.0\n"
                       "\n"
                       "NETWORK 4294967295\n"
                       "\n"
                       "END_ORGANIZATION_BLOCK\n"
                       "\n"
                       "SUBROUTINE_BLOCK Unknown:Unknown\n"
                       "TITLE=\n"
                       "\n"
                       "BEGIN\n"
                       "END_SUBROUTINE_BLOCK\n"
                       "\n"
                       "Unknown:Unknown\n"
                       "TITLE=\n"
                       "\n"
                       "BEGIN\n"
                       "\n");
}

TEST(ListingTest, NoProgramListsNothing) {
    SimClock clock;
    CPU cpu(clock);
    StringWriter w;
    cpu.print(w);
    EXPECT_EQ(w.str(), "");
}

} // namespace

} // namespace kvx
