#include "links/feed.h"

namespace qtr {

std::atomic<bool> feedProfessional{false};
std::atomic<double> latestFeedReportTime{0.0};

void startTcpServer(const std::string&) {}
void waitForFeedClient() {}
void sendOwnPosition() {}
void sendQs123(long long) {}
bool feedClientConnected() { return false; }
void sendDataPacket(const std::string&) {}
void closeFeedSockets() {}
void resetTrafficState() {}
void stopReaders() {}
void startQnhReader() {}
void startTrafficReader() {}

} // namespace qtr
