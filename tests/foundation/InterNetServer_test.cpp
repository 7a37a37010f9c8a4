#include "foundation/Fail.h"
#include "foundation/InterNetClient.h"
#include "foundation/InterNetServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>

namespace {

TEST(InterNetServer, BindsTheRequestedLoopbackAddressAtAFreePort) {
    fail_take();
    InterNetServer server(0, loopback_address());
    ASSERT_FALSE(server.failed()) << fail_take();
    EXPECT_NE(server.port(), 0);
    sockaddr_in local{};
    socklen_t size = sizeof local;
    ASSERT_EQ(::getsockname(server.handle(), reinterpret_cast<sockaddr*>(&local), &size), 0);
    EXPECT_EQ(local.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    EXPECT_EQ(ntohs(local.sin_port), server.port());

    int reuse = 0;
    size = sizeof reuse;
    ASSERT_EQ(::getsockopt(server.handle(), SOL_SOCKET, SO_REUSEADDR, &reuse, &size), 0);
    EXPECT_NE(reuse, 0);
    EXPECT_FALSE(fail_pending());
}

TEST(InterNetServer, AcceptGivesABlockingOwnedSocketAndTheLoopbackPeer) {
    fail_take();
    InterNetServer server(0, loopback_address());
    ASSERT_FALSE(server.failed()) << fail_take();
    InterNetClient client("127.0.0.1", server.port());
    ASSERT_FALSE(client.failed()) << fail_take();
    uint32_t peer = 0;
    auto accepted = server.accept_connection(&peer);
    ASSERT_TRUE(accepted) << fail_take();
    EXPECT_EQ(peer, htonl(INADDR_LOOPBACK));
    EXPECT_FALSE(accepted->failed());
    EXPECT_FALSE(accepted->attached());
    EXPECT_TRUE(accepted->blocking());
    EXPECT_EQ(::fcntl(accepted->handle(), F_GETFL) & O_NONBLOCK, 0);

    // Without an out-location the connection is accepted all the same.
    InterNetClient second("127.0.0.1", server.port());
    ASSERT_FALSE(second.failed()) << fail_take();
    EXPECT_TRUE(server.accept_connection());
    EXPECT_FALSE(fail_pending());
}

TEST(InterNetServer, BusyPortFailsWithTheBindReport) {
    fail_take();
    InterNetServer first(0, loopback_address());
    ASSERT_FALSE(first.failed()) << fail_take();
    InterNetServer second(first.port(), loopback_address());
    EXPECT_TRUE(second.failed());
    EXPECT_EQ(second.handle(), -1);
    EXPECT_EQ(std::string(fail_take()),
              "InterNetServer: unable to bind socket Reason code:" + std::to_string(EADDRINUSE) +
                  "\r\n");
}

TEST(InterNetServer, AcceptOnAFailedServerReportsAndGivesNoSocket) {
    fail_take();
    InterNetServer first(0, loopback_address());
    ASSERT_FALSE(first.failed()) << fail_take();
    InterNetServer failed(first.port(), loopback_address());
    ASSERT_TRUE(failed.failed());
    fail_take();
    uint32_t peer = 12345;
    EXPECT_FALSE(failed.accept_connection(&peer));
    EXPECT_EQ(peer, 12345u);
    EXPECT_EQ(std::string(fail_take()),
              "InterNetServer::accept_connection unable to accept from socket Reason code:" +
                  std::to_string(EBADF) + "\r\n");
}

} // namespace
