#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "background/key_event_listener.h"
#include "phone/phone_link.h"
#include "sim/simulated_phone.h"
#include "support/recording_sink.h"
#include "support/sim_phone_fixture.h"
#include "transport/at/serial_port.h"

namespace panelgrab {
namespace {

using namespace std::chrono_literals;

constexpr int kRepetitions = 1000;

// Start and stop of the listener, with reports streaming in, on one port: no worker outlives its
// Stop, no event is delivered after it, and the port is usable again at once.
TEST(ThreadedStress, ListenerStartAndStopRepeatedly) {
    sim::SimOptions options;
    options.keyEvents = "1,1;1,0";
    options.keyEventPauseMs = 1;
    test::SimPhone sim(options);
    ASSERT_TRUE(sim.Connect());
    SerialPort& port = const_cast<SerialPort&>(sim.phone->Port());
    for (int i = 0; i < kRepetitions; ++i) {
        test::RecordingSink sink;
        KeyEventListener listener(&sink, port);
        ASSERT_TRUE(listener.Start()) << "repetition " << i;
        if (i % 10 == 0) {
            ASSERT_TRUE(sink.WaitForEvents(1, 5s)) << "repetition " << i;
        }
        EXPECT_TRUE(listener.Stop()) << "repetition " << i;
        EXPECT_FALSE(listener.IsRunning());
        const std::size_t afterStop = sink.Events().size();
        EXPECT_EQ(sink.StoppedCount(), 1);
        EXPECT_EQ(sink.Events().size(), afterStop);
    }
}

// A phone object destroyed while its background read streams: the destructor returns promptly and
// leaves nothing running (the sanitizers see every thread and allocation). A loaded machine may
// stall some rounds, so promptness is judged on nine rounds in ten (a destructor that waited for
// the picture would make every round slow), with a looser bound for the rest.
TEST(ThreadedStress, DestroyPhoneDuringReadRepeatedly) {
    std::vector<std::chrono::steady_clock::duration> durations;
    for (int i = 0; i < kRepetitions; ++i) {
        // A fresh phone each time: the last one is still sending the picture nobody reads.
        test::SimPhone sim(test::SmallDisplay(64, 48, 16, 115200));
        ASSERT_TRUE(sim.Connect()) << "repetition " << i;
        ASSERT_EQ(sim.phone->StartScreenRead(sim.displays[0]), kPhoneOk);
        // Vary the moment: before the worker got anywhere, while it asks for the list, mid-picture.
        std::this_thread::sleep_for(std::chrono::microseconds((i % 7) * 1000));
        const auto started = std::chrono::steady_clock::now();
        sim.phone.reset();
        durations.push_back(std::chrono::steady_clock::now() - started);
    }
    std::sort(durations.begin(), durations.end());
    EXPECT_LT(durations[durations.size() * 9 / 10], 1s);
    EXPECT_LT(durations.back(), 10s);
}

} // namespace
} // namespace panelgrab
