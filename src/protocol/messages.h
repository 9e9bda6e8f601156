// The messages that cross the link, as types: each message the program
// shows or acts on, and each the simulator sends, is decoded once into a
// plain struct, and every consumer reads the struct's fields, never payload
// offsets. A request and its reply share a type byte, and where they share
// a layout too (offsets, declination, orientation rate, start-up defaults)
// one struct serves both.
//
// Each struct lists its fields once, in layout order, in
// `Fields(message, io)`; reading, writing and sizing all walk that list
// (payload.h).
//
// Angles are raw binary-angle counts (see angles.h); intervals are
// milliseconds.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "link/device_message.h"
#include "protocol/payload.h"

namespace tolvane {

// Every type byte the program knows. A reply carries its request's byte.
// As wide as DeviceMessage::type, so that a cast never folds a wider value
// onto a known one.
enum class MessageType : std::uint16_t {
    Nmea = kNmeaType,              // NMEA, any sentence
    Reset = 0x42,                  // reset request; no reply
    PowerUp = 0x44,                // DPOWER
    Baud = 0x47,                   // DBAUD
    SelfTest = 0x48,               // DTEST, self test request
    Status = 0x49,                 // DSTAT
    FactoryMode = 0x4A,            // DFCTRY
    Pedometer = 0x4E,              // DPED
    Offsets = 0x50,                // DINICAL, offsets request
    InitialPosition = 0x52,        // DINIP
    InitialAltitude = 0x53,        // DINIA
    Declination = 0x54,            // DIMVAR, declination request
    Wmm = 0x55,                    // DWMM, WMM request
    ZeroDrift = 0x56,              // DZDR
    Position = 0x57,               // DPOSN
    Observation = 0x59,            // DOBSR
    GpsStatus = 0x5E,              // DGPSCT
    GpsFix = 0x5F,                 // DGPVT
    RawData = 0x64,                // DRAWD
    CalibrationTable = 0x65,       // DCCTBL
    StartupDefaults = 0x66,        // DSDFLT, start-up defaults request
    CompensationParameters = 0x67, // DMCALP, compensation parameters request
    SaveCalibration = 0x69,        // DSVCAL
    Orientation = 0x70,            // DORIENT
    Fix = 0x71,                    // DRMC
    Compensation = 0x72,           // DMCAL, compensation request
    Debug = 0x7E,                  // DBUG
    OrientationRate = 0x7F,        // DORRATE, orientation rate request
    Identity = 0xC3,               // DVRSN, serial number request
};

constexpr std::uint16_t TypeByte(MessageType type) { return static_cast<std::uint16_t>(type); }
inline bool IsType(const DeviceMessage& message, MessageType type) { return message.type == TypeByte(type); }

// A message of type T from `message`'s payload. The type is not checked.
template <typename T>
T Decode(const DeviceMessage& message)
{
    PayloadReader reader(message);
    return Decode<T>(reader);
}

// `value` with its type and payload, as a request (OutgoingRequest) or as
// the module sends it (DeviceMessage).
template <typename Unit, typename T>
Unit EncodeAs(const T& value)
{
    PayloadWriter writer;
    Encode(value, writer);
    Unit unit;
    unit.type = TypeByte(T::kType);
    unit.length = static_cast<std::uint16_t>(writer.Length());
    std::memcpy(unit.payload, writer.Bytes(), writer.Length());
    return unit;
}

template <typename T>
OutgoingRequest EncodeRequest(const T& value)
{
    return EncodeAs<OutgoingRequest>(value);
}

// DVRSN: who the module is.
struct ModuleIdentity {
    static constexpr MessageType kType = MessageType::Identity;
    std::int16_t versionMajor = 0;
    std::int16_t versionMinor = 0;
    std::uint16_t buildOptions = 0; // bit i: option letter 'A' + i
    std::uint32_t serialNumber = 0; // 0: unassigned
    std::int8_t upAxis = 0;         // 1, 2, 3: X, Y, Z; negative: pointing the other way
    std::int8_t forwardAxis = 0;

    bool HasOption(char letter) const { return (buildOptions >> (letter - 'A')) & 1u; }
    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.versionMajor, m.versionMinor, m.buildOptions, m.serialNumber, m.upAxis, m.forwardAxis);
    }
    bool operator==(const ModuleIdentity&) const = default;
};

// DORIENT: the module's attitude, sent on its own at the interval in force.
struct Orientation {
    static constexpr MessageType kType = MessageType::Orientation;
    std::int16_t roll = 0;
    std::int16_t pitch = 0;
    std::uint16_t azimuth = 0;
    // Only in payloads long enough for both (18 bytes or more).
    bool hasRfu = false;
    std::array<std::int16_t, 3> rfuAcc{};
    std::array<std::int16_t, 3> rfuMag{};

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.roll, m.pitch, m.azimuth).Optional(m.hasRfu, m.rfuAcc, m.rfuMag);
    }
    bool operator==(const Orientation&) const = default;
};

// DINICAL and the offsets request: the mounting offsets. In a request the
// flags say which to set (none: read them); a reply echoes them.
struct Offsets {
    static constexpr MessageType kType = MessageType::Offsets;
    enum Flags : std::uint8_t { kBody = 0x01, kRoll = 0x02, kPitch = 0x04 };
    std::uint8_t flags = 0;
    std::int16_t body = 0; // the azimuth offset
    std::int16_t roll = 0;
    std::int16_t pitch = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.flags, m.body, m.roll, m.pitch); }
    bool operator==(const Offsets&) const = default;
};

// DIMVAR and the declination request (set 1: set it; 0: read it).
struct Declination {
    static constexpr MessageType kType = MessageType::Declination;
    std::uint8_t set = 0;
    std::int16_t declination = 0; // east positive

    static constexpr void Fields(auto& m, auto& io) { io(m.set, m.declination); }
    bool operator==(const Declination&) const = default;
};

// DORRATE and the orientation rate request (-1: read it; 0: no
// orientation messages).
struct OrientationRate {
    static constexpr MessageType kType = MessageType::OrientationRate;
    static constexpr std::int16_t kRead = -1;
    std::int16_t interval = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.interval); }
    bool operator==(const OrientationRate&) const = default;
};

// DSDFLT and the start-up defaults request: the values kept in flash. In a
// request `mask` says which to store (none: read them) and values without
// their bit are zero; in a reply it is the module's result, 0 for failure.
struct StartupDefaults {
    static constexpr MessageType kType = MessageType::StartupDefaults;
    // Roll is bit 2 and pitch bit 3, against the field order.
    enum Mask : std::uint16_t {
        kDeclination = 0x01,
        kBodyOffset = 0x02,
        kRollOffset = 0x04,
        kPitchOffset = 0x08,
        kInterval = 0x10,
    };
    std::uint16_t mask = 0;
    std::int16_t declination = 0;
    std::int16_t bodyOffset = 0;
    std::int16_t pitchOffset = 0;
    std::int16_t rollOffset = 0;
    std::int16_t interval = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.mask, m.declination, m.bodyOffset, m.pitchOffset, m.rollOffset, m.interval);
    }
    bool operator==(const StartupDefaults&) const = default;
};

// The compensation request's one byte.
enum class CompensationAction : std::uint8_t { Start = 1, Status = 2, Abort = 3, Revert = 4 };

struct CompensationCommand {
    static constexpr MessageType kType = MessageType::Compensation;
    CompensationAction action = CompensationAction::Status;

    static constexpr void Fields(auto& m, auto& io) { io(m.action); }
    bool operator==(const CompensationCommand&) const = default;
};

// DMCAL: a compensation run's progress (status 0) or its result.
struct CompensationReport {
    static constexpr MessageType kType = MessageType::Compensation;
    std::uint8_t state = 0; // 0 off, 1 get data, 2 compute, 3 abort
    std::uint8_t status = 0;
    // Data collected per 45-degree sector, counter-clockwise from the sector
    // between NW and N.
    std::array<std::uint8_t, 8> bins{};
    std::uint8_t completion = 0;
    std::int16_t quality = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.state, m.status, m.bins, m.completion, m.quality); }
    bool operator==(const CompensationReport&) const = default;
};

// DMCALP: the compensation's coefficients.
struct CompensationParameters {
    static constexpr MessageType kType = MessageType::CompensationParameters;
    std::int16_t n = 0, a = 0, b = 0, c = 0, f0 = 0, f1 = 0;
    std::int16_t declination = 0;
    std::int16_t magneticOffset = 0;
    std::int16_t rms = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.n, m.a, m.b, m.c, m.f0, m.f1, m.declination, m.magneticOffset, m.rms);
    }
    bool operator==(const CompensationParameters&) const = default;
};

// The WMM request: where and when, for the module's field model.
struct WmmQuery {
    static constexpr MessageType kType = MessageType::Wmm;
    std::uint8_t day = 0;
    std::uint8_t month = 0; // 1..12
    std::uint8_t year = 0;  // since 2000
    float latitude = 0;     // north positive
    float longitude = 0;    // east positive
    float altitudeMetres = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.day, m.month, m.year, m.latitude, m.longitude, m.altitudeMetres);
    }
    bool operator==(const WmmQuery&) const = default;
};

// DWMM: the declination the module computed (state 1: computed and set).
struct WmmResult {
    static constexpr MessageType kType = MessageType::Wmm;
    std::uint8_t state = 0;
    std::int16_t declination = 0;
    std::string source;

    static constexpr void Fields(auto& m, auto& io) { io(m.state, m.declination, m.source); }
    bool operator==(const WmmResult&) const = default;
};

// DRMC: a GPS fix with date, position and course.
struct Fix {
    static constexpr MessageType kType = MessageType::Fix;
    std::int32_t utcSeconds = 0; // since midnight
    std::uint8_t status = 0;     // 'A' for a valid fix
    float latitude = 0;
    float longitude = 0;
    std::int16_t epe = 0;
    float speed = 0;
    std::uint16_t azimuth = 0;
    std::uint8_t day = 0;
    std::uint8_t month = 0;
    std::uint8_t year = 0; // within the century

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.utcSeconds, m.status, m.latitude, m.longitude, m.epe, m.speed, m.azimuth, m.day, m.month, m.year);
    }
    bool operator==(const Fix&) const = default;
};

// DGPVT: a GPS position, velocity and time solution.
struct GpsFix {
    static constexpr MessageType kType = MessageType::GpsFix;
    std::int8_t quality = 0; // 1 coarse, 2 precise, else invalid
    float latitude = 0;
    float longitude = 0;
    std::int16_t epe = 0;
    std::int16_t hdopTenths = 0;
    std::int16_t satellites = 0;
    std::int16_t altitude = 0;
    std::int32_t utcSeconds = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.quality, m.latitude, m.longitude, m.epe, m.hdopTenths, m.satellites, m.altitude, m.utcSeconds);
    }
    bool operator==(const GpsFix&) const = default;
};

// DPOWER: the module's announcement at power-up.
struct PowerUp {
    static constexpr MessageType kType = MessageType::PowerUp;
    std::string text;

    static constexpr void Fields(auto& m, auto& io) { io(m.text); }
    bool operator==(const PowerUp&) const = default;
};

// DTEST: the self test's result bits, 0 when all passed.
struct SelfTest {
    static constexpr MessageType kType = MessageType::SelfTest;
    std::uint16_t result = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.result); }
    bool operator==(const SelfTest&) const = default;
};

// The messages below are only shown: the message view renders them, and
// nothing else reads them.

// DRAWD: the sensors' raw readings.
struct RawReadings {
    static constexpr MessageType kType = MessageType::RawData;
    std::array<std::int16_t, 3> acceleration{}; // x, y, z
    std::array<std::int16_t, 6> afterAcceleration{}; // the module's own, not shown
    std::array<std::int16_t, 3> magnetic{};
    std::array<std::int16_t, 6> afterMagnetic{}; // the module's own, not shown
    std::int16_t temperatureTenths = 0;
    std::int16_t altitude = 0;
    std::uint16_t heading = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.acceleration, m.afterAcceleration, m.magnetic, m.afterMagnetic, m.temperatureTenths, m.altitude,
           m.heading);
    }
};

// DBUG: a character naming what is reported, then floats or 16-bit words,
// as many as the payload holds, at most four floats or eight words.
struct DebugReport {
    static constexpr MessageType kType = MessageType::Debug;
    static constexpr std::size_t kMostReals = 4;
    static constexpr std::size_t kMostWords = 8;
    std::uint8_t floats = 0; // nonzero: the values are floats
    std::uint8_t kind = 0;
    std::vector<float> reals;
    std::vector<std::uint16_t> words;

    // Which values follow depends on the flag before them: read, it has just
    // been read; written, it is the message's own.
    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.floats, m.kind);
        if (m.floats != 0)
            io.Rest(m.reals, kMostReals);
        else
            io.Rest(m.words, kMostWords);
    }
};

// DPOSN: the module's position.
struct PositionReport {
    static constexpr MessageType kType = MessageType::Position;
    std::uint8_t rate = 0;
    std::int32_t northThousandths = 0;
    std::int32_t eastThousandths = 0;
    float latitude = 0;
    float longitude = 0;
    std::int16_t altitude = 0;
    std::uint16_t heading = 0;
    std::int16_t epe = 0;
    std::uint16_t steps = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.rate, m.northThousandths, m.eastThousandths, m.latitude, m.longitude, m.altitude, m.heading, m.epe,
           m.steps);
    }
};

// DINIA: the initial altitude.
struct InitialAltitude {
    static constexpr MessageType kType = MessageType::InitialAltitude;
    std::uint8_t set = 0; // not shown
    std::int16_t altitude = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.set, m.altitude); }
};

// DFCTRY.
struct FactoryMode {
    static constexpr MessageType kType = MessageType::FactoryMode;
    std::uint8_t on = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.on); }
};

// DCCTBL: one page of the calibration table.
struct CalibrationTablePage {
    static constexpr MessageType kType = MessageType::CalibrationTable;
    std::uint8_t success = 0;
    bool hasPage = false; // a payload of one byte carries the result alone
    std::uint8_t page = 0;
    std::vector<std::uint8_t> data;

    static constexpr void Fields(auto& m, auto& io) { io(m.success).Optional(m.hasPage, m.page).Rest(m.data); }
};

// DSTAT.
struct ModuleStatus {
    static constexpr MessageType kType = MessageType::Status;
    std::int16_t temperatureTenths = 0;
    std::uint16_t heading = 0;
    std::int16_t altitude = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.temperatureTenths, m.heading, m.altitude); }
};

// DOBSR.
struct Observation {
    static constexpr MessageType kType = MessageType::Observation;
    std::uint8_t request = 0;
    float latitude = 0;
    float longitude = 0;
    std::int16_t epe = 0;
    std::int16_t altitude = 0;
    std::int16_t eve = 0;

    static constexpr void Fields(auto& m, auto& io)
    {
        io(m.request, m.latitude, m.longitude, m.epe, m.altitude, m.eve);
    }
};

// DGPSCT: the GPS receiver's state.
struct GpsStatus {
    static constexpr MessageType kType = MessageType::GpsStatus;
    std::uint8_t status = 0;
    std::uint8_t error = 0;
    std::uint8_t active = 0; // zero: sleeping
    std::uint8_t dutyCycle = 0; // percent
    std::string firmware;

    static constexpr void Fields(auto& m, auto& io) { io(m.status, m.error, m.active, m.dutyCycle, m.firmware); }
};

// DPED: two on/off settings.
struct PedometerSettings {
    static constexpr MessageType kType = MessageType::Pedometer;
    std::uint8_t running = 0;
    std::uint8_t sideBack = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.running, m.sideBack); }
};

// DBAUD.
struct BaudReport {
    static constexpr MessageType kType = MessageType::Baud;
    std::uint8_t code = 0; // 0..3: 4800, 9600, 19200, 38400

    static constexpr void Fields(auto& m, auto& io) { io(m.code); }
};

// DSVCAL.
struct CalibrationSaved {
    static constexpr MessageType kType = MessageType::SaveCalibration;
    std::uint8_t success = 0;

    static constexpr void Fields(auto& m, auto& io) { io(m.success); }
};

} // namespace tolvane
