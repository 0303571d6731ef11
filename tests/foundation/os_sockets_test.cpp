// The socket layer: addresses and ports in the right byte order, sockets closed by their owner,
// and the same answers from Winsock and POSIX sockets where the two systems differ.
#include "foundation/os_sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

using namespace qtr;
using namespace std::chrono_literals;

namespace {

// A socket of the given kind bound to a free loopback port.
Socket boundSocket(SocketKind kind, std::uint16_t port = 0)
{
    Socket socket = Socket::open(kind);
    EXPECT_TRUE(socket.isOpen());
    EXPECT_TRUE(socket.bind({loopbackAddress, port})) << socketErrorText(lastSocketError());
    return socket;
}

// A listening socket, a connection to it and the accepted end.
struct Connection {
    Socket listening = boundSocket(SocketKind::stream);
    Socket client = Socket::open(SocketKind::stream);
    Socket server;
    Connection()
    {
        EXPECT_TRUE(listening.listen());
        const bool connected = client.connect({loopbackAddress, listening.localPort().value_or(0)});
        EXPECT_TRUE(connected);
        if (connected) server = listening.accept(); // with nothing waiting it would wait for ever
        EXPECT_TRUE(server.isOpen());
    }
};

class SocketLayer : public ::testing::Test {
protected:
    SocketLibraryUse library;
};

} // namespace

TEST(SocketErrors, WinsockErrorTexts)
{
    EXPECT_EQ(gf_wsaErrorText(10054), "10054 Connection reset by peer");
    EXPECT_EQ(gf_wsaErrorText(11004), "11004 No host data of that type was found");
    EXPECT_EQ(gf_wsaErrorText(12345), "12345 Unknown errror code");
    EXPECT_EQ(gf_wsaErrorText(0), "0 Unknown errror code");
}

TEST_F(SocketLayer, AddressesAndPortsInTheHostsOrder)
{
    struct Case {
        const char* text;
        std::optional<std::uint32_t> address;
    };
    for (const Case& c : {Case{"127.0.0.1", 0x7F000001}, Case{"10.1.2.3", 0x0A010203}, Case{"0.0.0.0", 0},
                          Case{"255.255.255.255", 0xFFFFFFFF}, Case{"", std::nullopt}, Case{"1.2.3", std::nullopt},
                          Case{"256.0.0.1", std::nullopt}, Case{"localhost", std::nullopt}}) {
        EXPECT_EQ(parseIpv4(c.text), c.address) << c.text;
    }
    // The system's resolver fills the address in network order: the endpoint turns it round.
    Ipv4Endpoint endpoint;
    ASSERT_EQ(resolveIpv4Stream("127.0.0.1", "10747", endpoint), 0);
    EXPECT_EQ(endpoint.address, loopbackAddress);
    EXPECT_EQ(endpoint.port, 10747);
    EXPECT_NE(resolveIpv4Stream("127.0.0.1", "not a port", endpoint), 0);
}

TEST_F(SocketLayer, TheOwnerClosesItsSocket)
{
    Socket first = boundSocket(SocketKind::datagram);
    const std::uint16_t port = first.localPort().value_or(0);
    ASSERT_NE(port, 0);
    EXPECT_FALSE(Socket::open(SocketKind::datagram).bind({loopbackAddress, port})); // taken

    Socket moved = std::move(first); // the socket changes its owner and stays open
    EXPECT_FALSE(first.isOpen());
    EXPECT_FALSE(Socket::open(SocketKind::datagram).bind({loopbackAddress, port}));

    moved = Socket::open(SocketKind::datagram); // given another one: the old one closes
    EXPECT_TRUE(moved.isOpen());
    const Socket again = boundSocket(SocketKind::datagram, port);
    EXPECT_EQ(again.localPort(), port);
}

TEST_F(SocketLayer, ADatagramLargerThanTheBufferFailsAsTooLongAndTheNextArrives)
{
    const Socket receiver = boundSocket(SocketKind::datagram);
    const Socket sender = Socket::open(SocketKind::datagram);
    const Ipv4Endpoint to{loopbackAddress, receiver.localPort().value_or(0)};
    char buffer[64];
    EXPECT_EQ(receiver.waitReadable(0ms), Readiness::timedOut);
    for (const std::string& datagram : {std::string(65, 'L'), std::string(64, 'F'), std::string("next")})
        ASSERT_EQ(sender.sendTo(to, datagram.data(), datagram.size()), static_cast<long>(datagram.size()));

    ASSERT_EQ(receiver.waitReadable(10s), Readiness::ready);
    EXPECT_EQ(receiver.receiveDatagram(buffer, sizeof buffer), -1);
    EXPECT_TRUE(isMessageTooLong(lastSocketError())) << socketErrorText(lastSocketError());
    ASSERT_EQ(receiver.waitReadable(10s), Readiness::ready);
    EXPECT_EQ(receiver.receiveDatagram(buffer, sizeof buffer), 64); // one that just fits
    ASSERT_EQ(receiver.waitReadable(10s), Readiness::ready);
    ASSERT_EQ(receiver.receiveDatagram(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 4), "next");
}

TEST_F(SocketLayer, AConnectionCarriesBytesBothWaysAndItsCloseIsSeen)
{
    Connection c;
    ASSERT_EQ(c.client.send("hello", 5), 5);
    ASSERT_EQ(c.server.waitReadable(10s), Readiness::ready);
    char buffer[16];
    EXPECT_EQ(c.server.receive(buffer, sizeof buffer, true), 5); // a peek leaves the bytes
    EXPECT_EQ(c.server.receive(buffer, sizeof buffer), 5);
    EXPECT_EQ(std::string(buffer, 5), "hello");
    ASSERT_EQ(c.server.send("back", 4), 4);
    ASSERT_EQ(c.client.waitReadable(10s), Readiness::ready);
    EXPECT_EQ(c.client.receive(buffer, sizeof buffer), 4);

    c.client.close(); // an orderly close reads as readable with nothing in it
    ASSERT_EQ(c.server.waitReadable(10s), Readiness::ready);
    EXPECT_EQ(c.server.receive(buffer, sizeof buffer, true), 0);
}

// A shutdown ends our data: the peer reads its end while the socket stays open, and after a
// shutdown of our sending alone the other way still carries bytes.
TEST_F(SocketLayer, AShutdownEndsTheDataThePeerReads)
{
    for (const ShutdownSide side : {ShutdownSide::sending, ShutdownSide::both}) {
        SCOPED_TRACE(side == ShutdownSide::both ? "both" : "sending");
        Connection c;
        char buffer[16];
        ASSERT_TRUE(c.server.shutdown(side));
        ASSERT_EQ(c.client.waitReadable(10s), Readiness::ready);
        EXPECT_EQ(c.client.receive(buffer, sizeof buffer), 0);
        if (side == ShutdownSide::sending) {
            ASSERT_EQ(c.client.send("still", 5), 5);
            ASSERT_EQ(c.server.waitReadable(10s), Readiness::ready);
            EXPECT_EQ(c.server.receive(buffer, sizeof buffer), 5);
        }
    }
}

// Sends to a peer that went fail, again and again; on POSIX a send after the peer's reset would
// otherwise end the whole process with a broken-pipe signal.
TEST_F(SocketLayer, SendsToAPeerThatWentFailAndTheProgramGoesOn)
{
    for (const bool reset : {false, true}) {
        SCOPED_TRACE(reset ? "reset" : "orderly close");
        Connection c;
        ASSERT_TRUE(c.server.setNoDelay());
        ASSERT_TRUE(c.server.setSendTimeout(2000ms));
        if (reset) {
            ASSERT_TRUE(c.client.setResetOnClose());
        }
        c.client.close();
        ASSERT_EQ(c.server.waitReadable(10s), Readiness::ready);
        // After an orderly close the first sends may still pass; the peer's reset answers them.
        int failures = 0;
        for (int attempt = 0; attempt < 200 && failures < 3; ++attempt) {
            if (c.server.send("line\r\n", 6) < 0) ++failures;
            std::this_thread::sleep_for(1ms);
        }
        EXPECT_EQ(failures, 3);
    }
}

TEST_F(SocketLayer, AListeningSocketIsReadableWhenAConnectionWaits)
{
    const Socket listening = boundSocket(SocketKind::stream);
    ASSERT_TRUE(listening.setBlocking(true));
    ASSERT_TRUE(listening.setReuseAddress());
    ASSERT_TRUE(listening.listen());
    EXPECT_EQ(listening.waitReadable(0ms), Readiness::timedOut);
    // A wait with nothing to come lasts its time: whole seconds and the milliseconds beyond them
    // (a generous lower bound, no upper one).
    for (const auto wait : {200ms, 1200ms}) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(listening.waitReadable(wait), Readiness::timedOut);
        EXPECT_GE(std::chrono::steady_clock::now() - start, wait * 3 / 4) << wait.count();
    }
    const Socket client = Socket::open(SocketKind::stream);
    std::thread connecting([&] { EXPECT_TRUE(client.connect({loopbackAddress, listening.localPort().value_or(0)})); });
    EXPECT_EQ(listening.waitReadable(10s), Readiness::ready);
    EXPECT_TRUE(listening.accept().isOpen());
    connecting.join();
}
