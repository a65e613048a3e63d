// The process and its components: ordered shutdown and destruction, and
// termination handlers, as a respring runs them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/Process.h"

namespace {

std::vector<std::string>& events() {
    static std::vector<std::string> list;
    return list;
}

struct First : ProcessComponent {
    int marker = 7;
    void shutdown() override { events().push_back("shutdown First"); }
    ~First() override { events().push_back("destroy First"); }
};

struct Second : ProcessComponent {
    void shutdown() override { events().push_back("shutdown Second"); }
    ~Second() override {
        events().push_back("destroy Second");
        // Reaches for a component that is still there...
        events().push_back("sees First " + std::to_string(Process::current().get<First>().marker));
    }
};

struct Late : ProcessComponent {
    ~Late() override { events().push_back("destroy Late"); }
};

// ...and for one that is already gone, which is made afresh and destroyed
// in its turn.
struct Reaching : ProcessComponent {
    ~Reaching() override {
        events().push_back("destroy Reaching");
        Process::current().get<Late>();
    }
};

} // namespace

// Tests the order of a respring: every shutdown (newest first), then the
// termination handlers, then destruction (newest first), with the process
// still current throughout.
TEST(ProcessTest, TerminationOrder) {
    Process::terminate();
    events().clear();
    Process::current().get<First>();
    Process::current().get<Second>();
    Process::current().atTermination([] {
        events().push_back("handler");
        Process::current().atTermination([] { events().push_back("handler added by a handler"); });
    });
    Process::terminate();
    EXPECT_EQ(events(), (std::vector<std::string>{"shutdown Second", "shutdown First", "handler",
                                                  "handler added by a handler", "destroy Second", "sees First 7",
                                                  "destroy First"}));
    EXPECT_FALSE(Process::exists());
}

// Tests a destructor that reaches for a component already destroyed: it gets
// a fresh one, which is destroyed before the process ends, without leaks.
TEST(ProcessTest, DestructorReachingForADestroyedComponent) {
    Process::terminate();
    events().clear();
    Process::current().get<Reaching>();
    Process::current().get<Late>();
    Process::terminate();
    EXPECT_EQ(events(), (std::vector<std::string>{"destroy Late", "destroy Reaching", "destroy Late"}));
    EXPECT_FALSE(Process::exists());
}
