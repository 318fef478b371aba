#include <tessel/serial/rs232.h>

#include "support/scoped_env.h"
#include "support/serial_pty_peer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

TEST(RS232Trace, TracesBytesBothWaysWhenAskedTo) {
    testsupport::TempDir dir;
    const std::string file = dir.File("trace.log");
    testsupport::SetEnv("TESSEL_TRACE", file);
    testsupport::PtyPeer peer;
    std::string name = peer.PortName();
    RS232 port;
    ASSERT_TRUE(port.Connect(name.data()));
    unsigned char request[] = {0x17};
    ASSERT_TRUE(port.Send(request, 1));
    peer.WriteToHost({0x17, 0x00, 0x02});
    unsigned char reply[3];
    ASSERT_TRUE(port.Receive(reply, 3, 200));

    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    std::remove(file.c_str());
    EXPECT_NE(text.str().find(name + " -> 1: 17"), std::string::npos) << text.str();
    // Bytes that arrived together are read, and traced, together.
    EXPECT_NE(text.str().find(name + " <- 3: 17 00 02"), std::string::npos) << text.str();
}
