// The slots of the process-wide services.

#include "platform/ServiceSlot.h"

#include <gtest/gtest.h>

namespace {

struct CGreeter {
    int number = 0;
    static CServiceSlot<CGreeter>& Slot() {
        static constinit CServiceSlot<CGreeter> slot{"greeter"};
        return slot;
    }
};

TEST(ServiceSlot, AnEmptySlotStopsTheProgramNamingTheService) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(CGreeter::Slot().Get(), "No greeter is installed");
}

TEST(ServiceSlot, AScopePutsBackTheServiceItStoodIn) {
    CGreeter program{1};
    CScopedService<CGreeter> programScope(program);
    {
        CGreeter test{2};
        CScopedService<CGreeter> testScope(test);
        EXPECT_EQ(CGreeter::Slot().Get().number, 2);
    }
    EXPECT_EQ(CGreeter::Slot().Get().number, 1);
}

}  // namespace
