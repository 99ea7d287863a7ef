// The application object wired as start-up wires it, on a fresh simulated adapter: the driver link,
// the polling thread object (prepared but not running: tests drive its ticks) and the adapter,
// profile and station managers. Each test brings its own settings store, message sink and window.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace wavory {
class IMainWindow;
class IMessageSink;
class IRegistry;
}  // namespace wavory

namespace wavory::test {

class AppFixture : public ::testing::Test {
protected:
    struct Wiring {
        IRegistry* registry = nullptr;
        IMessageSink* messages = nullptr;
        IMainWindow* window = nullptr;
        // The simulated adapter's scenario as JSON; empty for the built-in one.
        std::string scenario;
    };

    // Resets the adapter (scans and joins complete at once) and the shared state, then creates what start-up
    // creates, in its order. Call it with ASSERT_NO_FATAL_FAILURE.
    void WireApp(const Wiring& wiring);
    // Takes down what WireApp made, in shutdown's order; safe when nothing was wired.
    void UnwireApp();
};

}  // namespace wavory::test
