// The playground's phone with the real home screen as its child and a
// clock the test moves by hand: what the phone's tests share.
#pragma once

#include <gtest/gtest.h>

#include <regex>

#include "playground/server/Phone.h"
#include "playground/tests/TestSupport.h"

namespace playground::testing {

inline const char* kMessages = "com.apple.MobileSMS";
inline const char* kMail = "com.apple.mobilemail";
inline const char* kSiri = "com.apple.siri";

class PhoneTest : public ::testing::Test {
protected:
    void SetUp() override { phone = make(); }
    void TearDown() override { phone.reset(); }

    std::unique_ptr<Phone> make() {
        Phone::Options o;
        o.simProgram = FT_SIM_PROGRAM;
        o.root = root.path();
        o.clock = [this] { return now; };
        auto p = std::make_unique<Phone>(o, hub);
        p->start();
        return p;
    }

    Json act(Json request) { return phone->act(request); }
    void ok(Json request) {
        Json r = act(request);
        ASSERT_EQ(r["ok"], true) << request.dump() << ": " << r.dump();
    }
    Json dump() { return phone->lastDump(); }
    Json meta() { return Json::parse(hub.full())["meta"]; }
    std::string svg() { return Json::parse(hub.full())["svg"]; }
    std::vector<std::string> trace() {
        std::vector<std::string> out;
        Json all = Json::parse(hub.full());
        for (const auto& t : all["trace"]) out.push_back(t["text"]);
        return out;
    }
    bool traced(const std::string& text) {
        for (const auto& t : trace())
            if (t.find(text) != std::string::npos) return true;
        return false;
    }
    // The wall clock moves on; the phone's clock follows at its next step.
    void pass(double seconds) {
        now += seconds;
        phone->tick();
    }
    Json bubble(const std::string& bundle) {
        Json d = dump();
        for (const auto& b : d["bubbles"])
            if (b["bundle"] == bundle) return b;
        return nullptr;
    }
    // A phone comes up on the lock screen; most tests start past it.
    void unlock() { ok({{"type", "unlock"}}); }
    bool hidden(const std::string& bundle) { return bubble(bundle)["hidden"] == true; }
    void touch(const char* phase, double x, double y) { ok({{"type", "touch"}, {"phase", phase}, {"x", x}, {"y", y}}); }
    void tap(double x, double y) {
        touch("down", x, y);
        touch("up", x, y);
    }
    void tapBubble(const std::string& bundle) {
        Json c = bubble(bundle)["center"];
        tap(std::min(c[0].get<double>(), 374.0), c[1].get<double>());
    }
    // Taps a button of the alert on screen where the picture draws it.
    void tapAlertButton(const std::string& title) {
        std::regex action(
            "<g class=\"alert-action\"><line x1=\"([0-9.]+)\" y1=\"([0-9.]+)\" "
            "x2=\"([0-9.]+)\"[^>]*/><text[^>]*>([^<]*)</text>");
        std::string picture = svg();
        for (auto it = std::sregex_iterator(picture.begin(), picture.end(), action); it != std::sregex_iterator();
             ++it) {
            if ((*it)[4] != title) continue;
            double x = (std::stod((*it)[1]) + std::stod((*it)[3])) / 2;
            tap(x, std::stod((*it)[2]) + 20);
            return;
        }
        FAIL() << "no button " << title << " on screen";
    }

    TempDir root;
    FrameHub hub;
    double now = 1000;
    std::unique_ptr<Phone> phone;
};

} // namespace playground::testing
