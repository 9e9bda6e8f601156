// Each typed message decodes what it encodes, at the length of its layout.
// Where each field lies is checked by the catalogue's renderings and the
// requests' bytes; this table checks that the two directions agree.
#include "protocol/messages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tolvane {
namespace {

template <typename T>
void ExpectRoundTrip(const T& value, std::uint16_t length, const char* name)
{
    const OutgoingRequest encoded = EncodeRequest(value);
    EXPECT_EQ(encoded.type, TypeByte(T::kType)) << name;
    EXPECT_EQ(encoded.length, length) << name;
    DeviceMessage message;
    message.type = encoded.type;
    message.length = encoded.length;
    std::memcpy(message.payload, encoded.payload, encoded.length);
    EXPECT_TRUE(Decode<T>(message) == value) << name;
}

TEST(Messages, EachTypeDecodesWhatItEncodes)
{
    ExpectRoundTrip(ModuleIdentity{-2, 5, 0x8101, 0xFFFFFFFE, -3, 2}, 12, "identity");
    ExpectRoundTrip(Orientation{-32768, 91, 0xFFFF, false, {}, {}}, 6, "orientation");
    ExpectRoundTrip(Orientation{1, -2, 3, true, {-4, 5, -6}, {7, -8, 32767}}, 18, "orientation with RFU");
    ExpectRoundTrip(Offsets{Offsets::kBody | Offsets::kPitch, 1911, -182, 8192}, 7, "offsets");
    ExpectRoundTrip(Declination{1, -1000}, 3, "declination");
    ExpectRoundTrip(OrientationRate{OrientationRate::kRead}, 2, "orientation rate");
    ExpectRoundTrip(StartupDefaults{0x1F, -300, 1911, -18, 18, 145}, 12, "start-up defaults");
    ExpectRoundTrip(CompensationCommand{CompensationAction::Revert}, 1, "compensation command");
    ExpectRoundTrip(CompensationReport{1, 0, {3, 0, 5, 1, 2, 0, 0, 255}, 12, -7}, 13, "compensation report");
    ExpectRoundTrip(CompensationParameters{1, -2, 3, -4, 5, -6, 7, -8, 9}, 18, "compensation parameters");
    ExpectRoundTrip(WmmQuery{31, 3, 4, -45.5f, -122.25f, -304.8f}, 15, "WMM query");
    ExpectRoundTrip(WmmResult{1, -1000, "Tilted dipole"}, 17, "WMM result");
    ExpectRoundTrip(Fix{3725, 'A', 51.5f, -0.125f, 5, 2.5f, 0xC000, 31, 12, 26}, 24, "fix");
    ExpectRoundTrip(GpsFix{2, 51.5f, -0.125f, 5, 12, 9, -56, 86399}, 21, "GPS fix");
    ExpectRoundTrip(PowerUp{"Compass ready"}, 14, "power-up");
    ExpectRoundTrip(SelfTest{0x0012}, 2, "self test");
}

// A payload held in a buffer of its own length (as the simulator keeps its
// frames) is read only up to that length: fields past it read as zero.
TEST(Messages, NothingIsReadPastTheLengthGiven)
{
    const std::uint8_t bytes[] = {1, 0, 2, 0, 3, 0, 0xAA, 0xBB};
    PayloadReader reader(bytes, 6);
    const Orientation o = Orientation::Decode(reader);
    EXPECT_EQ(o, (Orientation{1, 2, 3, false, {}, {}}));
}

} // namespace
} // namespace tolvane
