#include <tessel/serial/rs232.h>
#include <tessel/serial/rs232_async.h>

#include "support/serial_pty_peer.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <memory>
#include <string>
#include <type_traits>

using testsupport::PtyPeer;

namespace {

std::string Name(RS232& port) {
    char* name = port.PortName();
    std::string out = name != nullptr ? name : "";
    port.FreeRS232Memory(name);
    return out;
}

TEST(RS232Connect, DefaultsAfterConstruction) {
    RS232 port;
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(port.baudRate, 9600);
    EXPECT_EQ(port.sendProgressCallback, nullptr);
    EXPECT_STREQ(port.lineTerminator, "\r\n");
    EXPECT_FALSE(port.xonXoff);
    EXPECT_EQ(port.PortName(), nullptr);
    EXPECT_FALSE(port.Connect());  // no stored name
}

static_assert(std::has_virtual_destructor_v<Communicator> && std::has_virtual_destructor_v<RS232> &&
                  std::has_virtual_destructor_v<RS232Async>,
              "a port may be deleted through the Communicator interface");

// Deleting through the interface runs the port's own destructor: the port is closed, so the
// exclusive open of the same line succeeds again.
TEST(RS232Connect, DeletingThroughTheInterfaceClosesThePort) {
    PtyPeer peer;
    std::string name = peer.PortName();
    std::unique_ptr<Communicator> port = std::make_unique<RS232>();
    ASSERT_TRUE(port->Connect(name.data()));
    RS232 second;
    EXPECT_FALSE(second.Connect(name.data())) << "the line is held while the first port is open";
    port.reset();
    EXPECT_TRUE(second.Connect(name.data()));
}

TEST(RS232Connect, OpensAndKeepsNameAcrossDisconnect) {
    PtyPeer peer;
    RS232 port;
    std::string name = peer.PortName();
    ASSERT_TRUE(port.Connect(name.data()));
    EXPECT_TRUE(port.IsConnected());
    port.Disconnect();
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(Name(port), name);
    EXPECT_TRUE(port.Connect());  // reopens the stored name
    EXPECT_TRUE(port.IsConnected());
}

TEST(RS232Connect, EmptyOrNullNameClosesOpenPortAndKeepsName) {
    PtyPeer peer;
    RS232 port;
    std::string name = peer.PortName();
    ASSERT_TRUE(port.Connect(name.data()));
    char empty[] = "";
    EXPECT_FALSE(port.Connect(empty));
    EXPECT_FALSE(port.IsConnected());
    EXPECT_EQ(Name(port), name);
    ASSERT_TRUE(port.Connect());
    EXPECT_FALSE(port.Connect(nullptr));
    EXPECT_FALSE(port.IsConnected());
}

TEST(RS232Connect, MissingPortFailsClosed) {
    RS232 port;
    char name[] = "pts/999999";
    EXPECT_FALSE(port.Connect(name));
    EXPECT_FALSE(port.IsConnected());
    char notATerminal[] = "/dev/null";
    EXPECT_FALSE(port.Connect(notATerminal));
    EXPECT_FALSE(port.IsConnected());
}

TEST(RS232Connect, OpenIsExclusiveWithinAndAcrossProcesses) {
    PtyPeer peer;
    std::string name = peer.PortName();
    RS232 first;
    ASSERT_TRUE(first.Connect(name.data()));

    RS232 second;
    EXPECT_FALSE(second.Connect(name.data()));
    EXPECT_FALSE(second.IsConnected());

#if !defined(_WIN32)  // another process: fork
    pid_t child = fork();
    if (child == 0) {
        RS232 other;
        _exit(other.Connect(name.data()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "another process opened a held port";
#endif

    first.Disconnect();
    EXPECT_TRUE(second.Connect(name.data()));
}

#if !defined(_WIN32)  // reads the host's settings back through the pseudo-terminal; a pipe has none
TEST(RS232Connect, ConfiguresAnyBaudRateAndFlowControl) {
    PtyPeer peer;
    std::string name = peer.PortName();
    RS232 port;
    for (int baud : {9600, 115200, 921600, 1000000, 3000000, 250000}) {
        port.baudRate = baud;
        ASSERT_TRUE(port.Connect(name.data())) << baud;
        EXPECT_EQ(peer.HostBaudRate(), static_cast<unsigned>(baud));
        EXPECT_FALSE(peer.HostXonXoff());
    }
    port.xonXoff = true;
    ASSERT_TRUE(port.Connect(name.data()));
    EXPECT_TRUE(peer.HostXonXoff());
}
#endif

TEST(RS232Connect, CopiesStartClosedWithTheirOwnName) {
    PtyPeer peer;
    std::string name = peer.PortName();
    RS232 port;
    port.baudRate = 921600;
    ASSERT_TRUE(port.Connect(name.data()));

    RS232 copy(port);
    EXPECT_FALSE(copy.IsConnected());
    EXPECT_EQ(copy.baudRate, 921600);
    EXPECT_EQ(Name(copy), name);

    RS232 assigned;
    assigned = port;
    EXPECT_FALSE(assigned.IsConnected());
    EXPECT_EQ(Name(assigned), name);
    assigned = assigned;  // self-assignment keeps the name
    EXPECT_EQ(Name(assigned), name);

    // The original still owns its open port; the copies reopen only once it lets go.
    EXPECT_TRUE(port.IsConnected());
    EXPECT_FALSE(copy.Connect());
    port.Disconnect();
    EXPECT_TRUE(copy.Connect());
}

TEST(RS232Connect, PortNameSetterCopiesAndClears) {
    RS232 port;
    port.PortName("ttyUSB3");
    EXPECT_EQ(Name(port), "ttyUSB3");
    port.PortName("");
    EXPECT_EQ(port.PortName(), nullptr);
    port.PortName("ttyACM0");
    port.PortName(nullptr);
    EXPECT_EQ(port.PortName(), nullptr);
}

}  // namespace
