#pragma once
// The feed links as the traffic manager sees them: the TCP feed server that tells RealTraffic
// on this PC where the user aircraft is, and the two UDP readers of its datagrams.
#include "foundation/time_text.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace qtr {

// feedProfessional and latestFeedReportTime (what the feed says of its clock) are in
// foundation/time_text.h, which the program clock reads.
// RealTraffic is installed on this PC (the worker's start decides; worker thread writes, the
// readers and the feed server read it after).
extern bool feedOnThisPc;
// How long a connection to the feed server may take to answer the version request before it is
// closed as no RealTraffic (milliseconds).
extern std::atomic<int> feedHandshakeTimeoutMs;

// Opens the listening socket on 127.0.0.1 at the port text ("0": any free port).
void startTcpServer(const std::string& port);
// The port the server listens on (0 while closed).
std::uint16_t feedServerPort();
// Waits for RealTraffic: every connection is asked for its version, and the first that answers
// with JSON becomes the client; one that closes, answers otherwise or stays silent too long is
// closed, and the others are not held up by it. False when a stop was requested, when a client
// is connected already, or on failure.
bool waitForClient();
// The handshake: waits for RealTraffic as waitForClient does and reads its version and edition.
void waitForFeedClient();
// Parses RealTraffic's handshake reply (sets feedProfessional and the version text).
void parseFeedVersion(const std::string& reply);
// The position line, about once a second. After RealTraffic went away it only looks for its
// return (never waits), so the main loop runs on through the outage.
void sendOwnPosition();
// "Qs121=..." for the user aircraft (pitch, bank, heading in radians, altitude in feet,
// ground speed in knots, latitude and longitude in degrees).
std::string positionLine(double pitch, double bank, double heading, double altitude, double groundSpeed,
                         double latitude, double longitude);
// "Qs123=" with the simulator's UTC time in milliseconds, professional edition only.
void sendQs123(long long simTimeSeconds);
bool feedClientConnected();
bool sendDataPacket(const std::string& line);
void closeFeedSockets();

void resetTrafficState();
void updateReaderLamps();
// Sets both readers' stop flags.
void stopReaders();
// Start the reader threads (detached).
void startQnhReader(std::uint16_t port = 49004);
void startTrafficReader(std::uint16_t port = 49005);
// The worker copies the user position into the traffic reader (degrees).
void setReaderUserPosition(double latitude, double longitude);
// The park airport's position (empty: none) and its altitude in feet while its park-position
// file is loaded (empty: not known).
void setReaderParkAirport(std::optional<std::pair<double, double>> position);
void setReaderParkAltitude(std::optional<double> altitudeFeet);

} // namespace qtr
