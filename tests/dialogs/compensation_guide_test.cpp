// The compensation guide: which sector a heading falls in, what the driver
// is told, the elapsed time, and what a screen reader hears.
#include "dialogs/compensation_guide.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tolvane {
namespace {

TEST(CompensationGuide, HeadingsFallInTheirSectors)
{
    // Bins run counter-clockwise from the sector between NW and N (their
    // names: see what the guide tells below).
    const std::pair<double, int> rows[] = {{0, 7}, {44.99, 7}, {45, 6}, {90, 5}, {180, 3}, {269.9, 2},
                                           {315, 0}, {359.99, 0}, {360, 7}, {-10, 0}, {725, 7}};
    for (const auto& [heading, bin] : rows) {
        EXPECT_EQ(BinAtHeading(heading), bin) << heading;
        const SectorArc arc = SectorOfBin(bin);
        const double wrapped = std::fmod(std::fmod(heading, 360.0) + 360.0, 360.0);
        EXPECT_TRUE(wrapped >= std::fmod(arc.fromDegrees, 360.0) && wrapped < std::fmod(arc.fromDegrees, 360.0) + 45)
            << heading;
    }
    EXPECT_EQ(SectorFill(8), 0.5);
    EXPECT_EQ(SectorFill(40), 1.0);
    EXPECT_EQ(SectorFill(-1), 0.0);
}

TEST(CompensationGuide, TellsWhatIsStillNeeded)
{
    const SectorBins none{}, most{16, 16, 16, 16, 16, 15, 16, 0}, all{16, 16, 16, 16, 16, 16, 16, 40};
    EXPECT_EQ(GuideInstruction(most, false),
              "Drive a slow full circle; keep the vehicle level. Still needed: N to NE, E to SE.");
    EXPECT_EQ(GuideInstruction(all, false), "All sectors collected: keep driving level while the module computes.");
    EXPECT_EQ(GuideInstruction(none, true), "The run is over: see the result.");
    EXPECT_EQ(ElapsedText(59999), "Elapsed 0:59");
    EXPECT_EQ(ElapsedText(754000), "Elapsed 12:34");
    EXPECT_EQ(CoverageDescription(most, 359.6),
              "N to NE 0%, NE to E 100%, E to SE 94%, SE to S 100%, S to SW 100%, SW to W 100%, W to NW 100%, "
              "NW to N 100%. Heading 0 degrees.");
    EXPECT_EQ(CoverageDescription(none, std::nan("")).substr(0, 12), "N to NE 0%, ");
}

} // namespace
} // namespace tolvane
