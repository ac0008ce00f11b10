#include "capture/DefaultInterface.h"

#include <gtest/gtest.h>

// Where no interface is named: en0 where there is one, else the first up
// network interface that is not the loopback, else every interface at once.
TEST(DefaultInterface, IsEn0OrTheFirstUpNetworkInterfaceOrAny) {
    using defaultinterface::Listed;
    const Listed lo{"lo", true, true, true};
    const Listed nflog{"nflog", true, false, false};
    const Listed down{"eth1", false, false, true};
    const Listed eth0{"eth0", true, false, true};
    const Listed en0{"en0", false, false, true};
    EXPECT_EQ(defaultinterface::chosenFrom({lo, nflog, down, eth0, en0}), "en0");
    EXPECT_EQ(defaultinterface::chosenFrom({lo, nflog, down, eth0}), "eth0");
    EXPECT_EQ(defaultinterface::chosenFrom({lo, nflog, down}), "any");
    EXPECT_EQ(defaultinterface::chosenFrom({}), "any");
}
