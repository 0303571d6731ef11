#pragma once
// The UDP readers of RealTraffic's datagrams: one receiver class with a blocking receive loop
// (a one-second select, so a stop is seen within about a second) that hands every datagram to
// a virtual handler. The traffic reader parses traffic lines, the QNH reader the pressure.
#include "foundation/flight_record.h"

#include "foundation/log.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qtr {

inline constexpr std::size_t receiveBufferSize = 16384;
inline constexpr std::uint16_t trafficPort = 49005;
inline constexpr std::uint16_t qnhPort = 49004;

class UdpReceiver {
public:
    UdpReceiver() = default;
    virtual ~UdpReceiver() = default;
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    // Handles the current datagram (data).
    virtual void onPacket() {}
    // Called once when the receive loop has ended.
    virtual void onStopped() {}

    std::string_view data; // the current datagram, inside buffer
    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> packets{0}; // datagrams received, duplicates included
    std::atomic<std::uint32_t> packetsAtLastCheck{0};
    std::array<char, receiveBufferSize> buffer{};
    std::string previousDatagram; // kept only while the feed is on another PC
    // What datagrams provoke goes to the log at most once a second per kind: any host of the
    // network may send them at any rate.
    RepeatLimitedLog datagramLog;

    // Where to bind instead of the address the feed location gives (tests keep to the
    // loopback); empty for the normal rule.
    std::string bindAddressOverride;
    // The port actually bound (tests ask for port 0 and read the one given).
    std::atomic<std::uint16_t> boundPort{0};
};

void logReaderConnected(const std::string& name);
void logReaderDisconnected(const std::string& name);
// A reader ended with an error: shows it and, unless a stop was already requested, ends the
// run with READER ERROR and a restart after 15 s. Returns whether a stop was requested before.
bool readerStopped(const std::string& name, const std::string& text);

// The body of a reader thread: set-up, the loop, clean-up. started runs once the socket is
// bound (it lights the reader's lamps). The socket lives only as long as the run: it is closed
// when the loop ends, however it ends.
void runReaderThread(UdpReceiver& reader, const std::string& name, std::uint16_t port,
                     const std::function<void()>& started);

class TrafficReader : public UdpReceiver {
public:
    void onPacket() override;
    void onStopped() override;
    // Splits the current datagram at every ',' into fields (views of the buffer).
    void splitFields();
    // Parses the current field list and queues at most one report.
    void processLine();
    // The checks and conversions of processLine: the report, or empty when the line is
    // dropped; a failed check throws a runtime error with its text.
    std::optional<TrafficReport> parseLine();
    // A callsign that the simulator can hold as a tail number; a longer one is logged once.
    bool fitsTailNumber(const std::string& callsign);

    // Callsigns seen in the feed while collectReportedFlights is set.
    std::set<std::string> reportedFlights;
    std::mutex reportedFlightsMutex;
    std::vector<std::string_view> fields;
    // The user aircraft (degrees), written by the worker.
    std::atomic<double> userLat{0.0};
    std::atomic<double> userLon{0.0};
    // The park airport's position, and its altitude (feet) while its park-position file is
    // loaded; written by the worker.
    std::atomic<bool> parkAirportSet{false};
    std::atomic<double> parkLat{0.0};
    std::atomic<double> parkLon{0.0};
    std::atomic<bool> parkAltitudeKnown{false};
    std::atomic<double> parkAltitude{0.0};
    std::atomic<bool> collectReportedFlights{false};
    std::atomic<std::int32_t> currentQnh{1013};
    // Callsigns refused as too long for a tail number (reader thread).
    std::set<std::string> tooLongCallsigns;
};

class QnhReader : public UdpReceiver {
public:
    void onPacket() override;
    void onStopped() override;
    std::atomic<std::int32_t> lastQnh{1013}; // the last accepted QNH (hPa)
};

extern TrafficReader trafficReader;
extern QnhReader qnhReader;
// The program's QNH in hPa: 1013 until one is received and after resetTrafficState.
extern std::atomic<std::int32_t> currentQnh;

void trafficReaderThread(std::uint16_t port);
void qnhReaderThread(std::uint16_t port);

// The lamp check of the data cycles: 1 data arrived since the last check, 2 no new data.
void updateReaderLamps();
// Before each connection of RealTraffic: QNH 1013, feed clock 0, callsigns forgotten, stop
// flags cleared, the QNH reader's counts 0, both lamp latches set.
void resetTrafficState();

// The traffic datagram helpers of the parser.
bool lf_copyRegistration(const TrafficReader& reader, TrafficReport& report);
bool lf_copyCallsign(const TrafficReader& reader, TrafficReport& report);
bool gf_isWantedTarget(const TrafficReport& report, std::string_view emitterCategory);
bool gf_isNonAircraftType(std::string_view typeCode);
std::string formatLatLon(double latitude, double longitude);

} // namespace qtr
