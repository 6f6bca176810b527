#include <gtest/gtest.h>

#include "common/TestSinks.h"
#include "support/Report.h"

namespace rovanta {
namespace {

using Reports = std::vector<std::string>;

// A code is shown with its class's prefix and its own row's text, else the
// table's fallback, also for a code of another class.
TEST(Report, CodesShowTheirRowOrTheFallback)
{
    static constexpr ErrorText kRows[] = {{0x07000001, "first"}, {0x07000003, "third"}};
    const ErrorTable table{"MDCT", kRows, "fallback"};
    test::Recorded r;
    for (std::uint32_t code : {gene::kNeedsMoreMemory, gene::kCantOpenFile, 0x0100000Du, 0x01000012u, 0x01000001u})
        ReportGeneralError(r.ctx, code);
    for (std::uint32_t code : {0x07000003u, 0x07000002u, 0x01000002u}) Report(r.ctx, table, code);
    EXPECT_EQ(r.Take(), (Reports{"GENE01000002 Needs more memory!", "GENE01000007 Cant open file!",
                                 "GENE0100000D file size error!", "GENE01000012 General Error",
                                 "GENE01000001 General Error", "MDCT07000003 third", "MDCT07000002 fallback",
                                 "MDCT01000002 fallback"}));
}

// Two codes share flag 0, one has flag 1, one has no flag and is shown every time.
constexpr OnceText kOnceRows[] = {
    {0x0D000001, "one", 0},
    {0x0D000002, "two", 0},
    {0x0D000003, "three", 1},
    {0x0D000004, "always", -1},
};
const OnceTable kOnce{"MDTK", kOnceRows, "Error"};

TEST(Report, OnceOnlyWarningsShowOnceUntilCodeZeroReArms)
{
    test::Recorded r;
    OnceFlags flags;
    for (std::uint32_t code : {0x0D000001u, 0x0D000001u, 0x0D000002u, 0x0D000003u, 0x0D000003u})
        ReportOnce(r.ctx, flags, kOnce, code);  // the second code of flag 0 is suppressed too
    EXPECT_EQ(r.Take(), (Reports{"MDTK0D000001 one", "MDTK0D000003 three"}));
    EXPECT_TRUE(flags.IsSet(0));
    EXPECT_TRUE(flags.IsSet(1));

    ReportOnce(r.ctx, flags, kOnce, 0);  // re-arms, shows nothing
    EXPECT_TRUE(r.Take().empty());
    ReportOnce(r.ctx, flags, kOnce, 0x0D000002);
    ReportOnce(r.ctx, flags, kOnce, 0x0D000001);
    EXPECT_EQ(r.Take(), (Reports{"MDTK0D000002 two"}));
}

TEST(Report, CodesWithoutFlagOrRowShowEveryTimeAndFlagSetsAreSeparate)
{
    test::Recorded r;
    OnceFlags first, second;
    for (int i = 0; i < 2; ++i) {
        ReportOnce(r.ctx, first, kOnce, 0x0D000004);
        ReportOnce(r.ctx, first, kOnce, 0x0D000009);
    }
    EXPECT_FALSE(first.IsSet(0));
    ReportOnce(r.ctx, first, kOnce, 0x0D000001);
    ReportOnce(r.ctx, second, kOnce, 0x0D000001);
    ReportOnce(r.ctx, second, kOnce, 0);
    ReportOnce(r.ctx, first, kOnce, 0x0D000001);  // still taken in the first set
    EXPECT_EQ(r.Take(), (Reports{"MDTK0D000004 always", "MDTK0D000009 Error", "MDTK0D000004 always",
                                 "MDTK0D000009 Error", "MDTK0D000001 one", "MDTK0D000001 one"}));
}

}  // namespace
}  // namespace rovanta
