// The scan's fallback order with COM names that exist for real. com_order_check.sh registers
// COM12, COM5 and COM9 (in that order, leading to the null device; nothing is opened) and
// names them in KORVAN_LINKED_COM_PORTS; they must come back as COM5, COM9, COM12, numbers
// ascending, where a text sort would put COM12 first.
#include <tessel/serial/detail/serial_platform.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Names = std::vector<std::string>;

Names LinkedPorts() {
    Names names;
    const char* list = std::getenv("KORVAN_LINKED_COM_PORTS");
    std::stringstream stream(list ? list : "");
    for (std::string name; std::getline(stream, name, ',');)
        if (!name.empty()) names.push_back(name);
    return names;
}

long Number(const std::string& comName) { return std::strtol(comName.c_str() + 3, nullptr, 10); }

TEST(Win32PortOrder, LinkedComNamesComeInAscendingNumericOrder) {
    const Names linked = LinkedPorts();
    if (linked.empty()) GTEST_SKIP() << "no linked COM names; run tests/windows/com_order_check.sh";
    Names expected = linked;
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return Number(a) < Number(b); });
    ASSERT_NE(expected, linked) << "link the names out of order, or the order proves nothing";

    Names found;
    for (const std::string& name : tessel::detail::ScanSerialPorts().fallbackNames)
        if (std::find(linked.begin(), linked.end(), name) != linked.end()) found.push_back(name);
    EXPECT_EQ(found, expected);
}

}  // namespace
