// The local HTTP server of the download-site tests: its stop must end every connection it holds,
// also one whose request never ends, or the stop would wait for that client for ever.
#include "http_server.h"

#include "foundation/os_sockets.h"

#include <gtest/gtest.h>

#include <future>

using namespace std::chrono_literals;

TEST(SiteServer, StopEndsAConnectionThatNeverFinishesItsRequest)
{
    const qtr::SocketLibraryUse library;
    qmhttp::Server server;
    ASSERT_TRUE(server.start());
    const qtr::Socket client = qtr::Socket::open(qtr::SocketKind::stream);
    ASSERT_TRUE(client.connect({qtr::loopbackAddress, server.port()}));
    const std::string partialHead = "GET /file.zip HTTP/1.1\r\n"; // no blank line: the server waits for more
    ASSERT_EQ(client.send(partialHead.data(), partialHead.size()), static_cast<long>(partialHead.size()));
    ASSERT_TRUE(server.waitForConnections(1, 10s));

    auto stopping = std::async(std::launch::async, [&] { server.stop(); });
    const bool stopped = stopping.wait_for(10s) == std::future_status::ready;
    EXPECT_TRUE(stopped) << "the stop still waits for the client";
    if (!stopped) client.shutdown(qtr::ShutdownSide::sending); // lets the server's receive end
    stopping.get();

    EXPECT_TRUE(server.waitForConnections(0, 0ms)); // its socket is closed
    ASSERT_EQ(client.waitReadable(10s), qtr::Readiness::ready);
    char byte = 0;
    EXPECT_LE(client.receive(&byte, 1), 0); // the connection ended, with no answer
}
