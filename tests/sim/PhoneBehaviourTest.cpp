// The phone's own lines against the host lines a driver used to send for
// them: the same trace, to the line and the millisecond, and the same dump.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/Simulator.h"

namespace {

// A phone with FloatTiles and three chosen apps.
const char* const kApps =
    "app com.apple.MobileSMS\napp com.apple.mobilemail\napp com.apple.Maps orientation=3\n"
    "state FLTTILE-com.apple.MobileSMS=true FLTTILE-com.apple.mobilemail=true FLTTILE-com.apple.Maps=true";
// Its start on the lock screen, as a phone's home screen starts: by hand,
// and as the phone's own.
const char* const kLockedStart = "uilocked yes\nboot\nlockstate 3\nfront home\nquery uilocked";
const char* const kPhoneStart = "phone starts locked\nboot";

const char* const kUnlockFromHome =
    "passcode appear\nquery uilocked\nuilocked no\nlockstate 0\nlockscreen dismiss\nfront home\n"
    "passcode disappear\nquery uilocked";

struct Outcome {
    std::string trace;
    Json dump;
};

// Runs the lines on a new phone; with `answers`, it answers the home
// screen from just before `lines`.
Outcome run(const std::string& start, const std::string& before, bool answers, const std::string& lines) {
    Simulator::Options o;
    o.deviceTemplate = FT_DEVICE_TEMPLATE;
    Simulator sim(std::move(o));
    auto execute = [&](const std::string& text) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) EXPECT_EQ(sim.execute(line), "") << line;
    };
    execute(std::string(kApps) + "\n" + start + "\nwait 0.5\n" + before);
    if (answers) execute("phone answers yes");
    execute(lines + "\nwait 0.5");
    Outcome r;
    for (const auto& t : sim.trace()) r.trace += t + "\n";
    r.dump = sim.dump();
    return r;
}

struct Case {
    const char* name;
    std::string before;    // host lines both phones run first
    std::string phone;     // the phone's lines, answering the home screen
    std::string explicit_; // the host lines a driver sent for them
    const char* phoneStart = kLockedStart;
};

// Tests that each phone line, and each answer to the home screen, sends
// exactly the host events of the sequence it replaces.
TEST(PhoneBehaviour, SameTraceAndDumpAsTheHostLines) {
    const Case cases[] = {
        {"unlock on the lock screen", "", "unlock", kUnlockFromHome},
        {"unlock with the passcode view up over an app", "front com.apple.Maps\npasscode appear", "unlock",
         "uilocked no\nlockstate 0\nlockscreen dismiss\nfront com.apple.Maps\npasscode disappear\nquery uilocked"},
        {"a bubble tapped on the lock screen opens after the unlock", "",
         "tap bubble:com.apple.mobilemail\nwait 0.5\nunlock",
         "query uilocked\ntap bubble:com.apple.mobilemail\npasscode appear\nquery uilocked\nwait 0.5\nuilocked no\n"
         "lockstate 0\nlockscreen dismiss\nfront com.apple.mobilemail\npasscode disappear\nquery uilocked"},
        {"a bubble tapped unlocked brings its app to the front", kUnlockFromHome,
         "tap bubble:com.apple.mobilemail\nwait 0.5\ntap bubble:com.apple.Maps",
         "query uilocked\ntap bubble:com.apple.mobilemail\nfront com.apple.mobilemail\nquery uilocked\nwait 0.5\n"
         "query uilocked\ntap bubble:com.apple.Maps\nfront com.apple.Maps\nquery uilocked"},
        {"taps on the phone's own screen", "",
         "tap 150,400\nwait 0.2\nclose passcode\ntap 150,400\nunlock\nsiri visible yes\ntap 150,400\n"
         "cc present\ntap 150,400\ntap 30,80\nwait 0.3\ntap 30,80\npress home\ndrag 30,80 to 90,80\n"
         "longpress 30,80",
         "query uilocked\ntap 150,400\npasscode appear\nquery uilocked\nwait 0.2\npasscode disappear\n"
         "query uilocked\nquery uilocked\ntap 150,400\npasscode appear\nquery uilocked\nuilocked no\nlockstate 0\n"
         "lockscreen dismiss\nfront home\npasscode disappear\nquery uilocked\nsiri visible yes\nquery uilocked\n"
         "tap 150,400\nsiri visible no\ncc present\nquery uilocked\ntap 150,400\ncc dismiss\nquery uilocked\n"
         "tap 30,80\nfront com.apple.MobileSMS\nquery uilocked\nwait 0.3\nquery uilocked\ntap 30,80\n"
         "front home\nquery uilocked\nquery uilocked\ndrag 30,80 to 90,80\nquery uilocked\nlongpress 30,80"},
        {"what a person opens by hand", "",
         "open passcode\nopen passcode\nclose passcode\nclose passcode\nopen com.apple.Maps\nopen home\n"
         "open controlcenter\nopen controlcenter\nclose controlcenter\nclose controlcenter\nopen siri\nopen siri\n"
         "close siri\nclose siri",
         "passcode appear\nquery uilocked\npasscode disappear\nquery uilocked\nfront com.apple.Maps\n"
         "query uilocked\nfront home\nquery uilocked\ncc present\ncc dismiss\nsiri visible yes\nsiri visible no"},
        {"lock with Control Center open, then lock again", std::string(kUnlockFromHome) + "\ncc present",
         "lock\nwait 0.3\nlock", "cc dismiss\nuilocked yes\nlockstate 3\nquery uilocked\nwait 0.3"},
        {"unlock while unlocked changes nothing", kUnlockFromHome, "unlock", ""},
        {"Home in every state", "",
         "press home\npress home\nunlock\nsiri visible yes\npress home\ncc present\npress home\n"
         "front com.apple.Maps\nwait 0.3\npress home\nfront other\npress home\npress home",
         "passcode appear\nquery uilocked\npasscode disappear\nquery uilocked\n" + std::string(kUnlockFromHome) +
             "\nsiri visible yes\nsiri visible no\ncc present\ncc dismiss\nfront com.apple.Maps\nwait 0.3\n"
             "front home\nquery uilocked\nfront other\nfront home\nquery uilocked"},
        {"the lock screen at every start", "", "respring", "respring\nlockstate 3\nfront home\nquery uilocked",
         kPhoneStart},
        {"Siri outlasts a respring", "siri visible yes", "respring",
         "respring\nsiri visible yes\nlockstate 3\nfront home\nquery uilocked", kPhoneStart},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome phone = run(c.phoneStart, c.before, true, c.phone);
        Outcome explicitLines = run(kLockedStart, c.before, false, c.explicit_);
        EXPECT_EQ(phone.trace, explicitLines.trace);
        EXPECT_EQ(phone.dump, explicitLines.dump);
    }
}

} // namespace
