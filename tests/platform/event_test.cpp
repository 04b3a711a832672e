#include "platform/event.h"

#include <gtest/gtest.h>

#include <thread>

namespace tonalda {
namespace {

using namespace std::chrono_literals;

TEST(ManualResetEvent, StaysSetUntilResetAndWakesWaiters) {
    ManualResetEvent event;
    EXPECT_FALSE(event.wait(10ms));
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.handle()->set(event.handle());  // as a module signals it
    });
    EXPECT_TRUE(event.wait(5s));
    setter.join();
    EXPECT_TRUE(event.wait(0ms));
    EXPECT_TRUE(event.isSet());
    event.reset();
    EXPECT_FALSE(event.wait(0ms));
}

}  // namespace
}  // namespace tonalda
