#include "platform/linux/kernel/NetlinkRouteTable.h"
#include "support/NetworkNamespace.h"

#include <gtest/gtest.h>

// A first run watches the interface of the default route: in a namespace of the test's own,
// with two links up and the default routes on the second, IPv4 and IPv6 each with a less
// preferred route on the first.
TEST(NetlinkRouteTable, NamesTheDefaultRouteInterfaceAndTheLinksUp)
{
    CNetworkNamespace ns(CNetworkNamespace::UniqueName("route"));
    if (!ns.IsValid())
        GTEST_SKIP() << "network namespace test skipped: " << ns.Error();
    for (const char* link : { "cvd0", "cvd1", "cvd2" })
        ASSERT_TRUE(ns.Ip({ "link", "add", link, "type", "ifb" }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "cvd0", "up" }));
    ASSERT_TRUE(ns.Ip({ "link", "set", "cvd1", "up" }));
    ASSERT_TRUE(ns.Ip({ "addr", "add", "10.215.3.1/24", "dev", "cvd0" }));
    ASSERT_TRUE(ns.Ip({ "addr", "add", "10.215.4.1/24", "dev", "cvd1" }));

    CNetlinkRouteTable routes;
    std::string none4, none6;
    ASSERT_TRUE(ns.RunInside([&] {
        none4 = routes.DefaultRouteInterface(false);
        none6 = routes.DefaultRouteInterface(true);
    }));
    EXPECT_EQ(none4, "");
    EXPECT_EQ(none6, "");

    ASSERT_TRUE(ns.Ip({ "route", "add", "default", "dev", "cvd0", "metric", "500" }));
    ASSERT_TRUE(ns.Ip({ "route", "add", "default", "via", "10.215.4.9", "metric", "100" }));
    ASSERT_TRUE(ns.Ip({ "-6", "route", "add", "default", "dev", "cvd1", "metric", "100" }));
    ASSERT_TRUE(ns.Ip({ "-6", "route", "add", "default", "dev", "cvd0", "metric", "300" }));
    std::string route4, route6;
    std::vector<std::string> up;
    ASSERT_TRUE(ns.RunInside([&] {
        route4 = routes.DefaultRouteInterface(false);
        route6 = routes.DefaultRouteInterface(true);
        up = routes.UpInterfaces();
    }));
    EXPECT_EQ(route4, "cvd1");
    EXPECT_EQ(route6, "cvd1");
    EXPECT_EQ(up, (std::vector<std::string> { "cvd0", "cvd1" }));
}
