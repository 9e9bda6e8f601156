// The compensation guide: which sector a heading falls in, what the driver
// is told, the elapsed time, and what a screen reader hears, in
// dialogs_compensation_guide.txt.
#include "dialogs/compensation_guide.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "support/golden.h"

namespace tolvane {
namespace {

TEST(CompensationGuide, SectorsAndWhatIsTold)
{
    // Bins run counter-clockwise from the sector between NW and N; headings on and either side of each edge,
    // and beyond a turn.
    std::string made = "Heading -> bin, its sector: degrees from, to, name\n";
    char line[120];
    for (double heading : {0.0, 44.99, 45.0, 90.0, 180.0, 269.9, 315.0, 359.99, 360.0, -10.0, 725.0}) {
        const SectorArc arc = SectorOfBin(BinAtHeading(heading));
        std::snprintf(line, sizeof line, "%g -> %d, %g to %g, %s\n", heading, BinAtHeading(heading), arc.fromDegrees,
                      arc.toDegrees, arc.name);
        made += line;
    }
    made += "Sector fill of 8, 40 and -1: ";
    for (int value : {8, 40, -1}) made += std::to_string(SectorFill(value)) + " ";
    const SectorBins none{}, most{16, 16, 16, 16, 16, 15, 16, 0}, all{16, 16, 16, 16, 16, 16, 16, 40};
    made += "\nMost sectors: " + GuideInstruction(most, false) + "\nAll sectors: " + GuideInstruction(all, false) +
            "\nFinished: " + GuideInstruction(none, true) + "\nAt 59999 ms: " + ElapsedText(59999) +
            "\nAt 720000 ms: " + ElapsedText(720000) + "\nMost sectors, heading 359.6: " +
            CoverageDescription(most, 359.6) + "\nNone, no heading: " + CoverageDescription(none, std::nan("")) + "\n";
    test::ExpectGolden("dialogs_compensation_guide.txt", made);
}

} // namespace
} // namespace tolvane
