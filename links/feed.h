#pragma once
// The feed links as the traffic manager sees them: the TCP feed server for RealTraffic on this
// PC and the two UDP readers. (Until the links land, these do nothing.)
#include <atomic>
#include <string>

namespace qtr {

extern std::atomic<bool> feedProfessional;
// Time of the latest traffic report (seconds since 1970 UTC, from the feed); 0 until one arrived.
extern std::atomic<double> latestFeedReportTime;

void startTcpServer(const std::string& port);
void waitForFeedClient();
void sendOwnPosition();
void sendQs123(long long simTimeSeconds);
bool feedClientConnected();
void sendDataPacket(const std::string& line);
void closeFeedSockets();
void resetTrafficState();
void stopReaders();
void startQnhReader();
void startTrafficReader();

} // namespace qtr
