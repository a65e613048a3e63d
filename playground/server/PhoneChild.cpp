// The home-screen process: its start with the phone's set-up, the lines
// sent to it, and its recovery when it dies.
#include <cstdlib>
#include <map>

#include "playground/server/Phone.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

namespace {

// The badge as an `app` option: a count plain, a text quoted.
std::string badgeOption(const Json& badge) {
    if (badge.is_number_integer()) return " badge=" + std::to_string(badge.get<long long>());
    if (badge.is_string() && !badge.get<std::string>().empty()) return " badge=" + quoteWord(badge.get<std::string>());
    return "";
}

} // namespace

void Phone::startChild() {
    // Siri outlasts the home screen's process: the new one starts with it
    // as the last one left it. Badges are the device's too: the apps are
    // installed again with the badges the host last showed. The lock needs
    // no keeping: the phone starts its home screen on the lock screen.
    const Json& last = link_->host();
    bool siri = isTrue(last, "siriVisible");
    std::map<std::string, Json> badges;
    for (const auto& a : member(last, "apps"))
        if (member(a, "bundle").is_string()) badges[member(a, "bundle").get<std::string>()] = member(a, "badge");
    link_->start(options_.simProgram, options_.root, options_.answerTimeoutMs);
    failure_.clear();
    replay_->drop();
    if (recorder_.keeping()) hub_.addTrace(FrameHub::TraceKind::Note, "the recording begins again at this start");
    recorder_.started();
    auto setUp = [&](const std::string& line) {
        SimAnswer a = run(line, false);
        if (!a.ok()) throw ChildGone("the home screen refused \"" + line + "\": " + a.error);
        return a;
    };
    setUp("screen " + realWord(options_.width) + "x" + realWord(options_.height) +
          " scale=" + realWord(options_.scale));
    for (const auto& a : options_.apps)
        setUp("app " + a.bundle + " icon=yes" + badgeOption(badges.count(a.bundle) ? badges[a.bundle] : a.badge));
    setUp(std::string("siri visible ") + (siri ? "yes" : "no"));
    // The phone itself, as the simulator plays it: every start comes up on
    // the lock screen in the phone's order, and what the home screen asks
    // for (an app launched, the unlock) is answered as a phone answers.
    setUp("phone starts locked");
    setUp("phone answers yes");
    // A new device: the settings pane's first choice of apps. A device
    // root kept from an earlier run keeps its own choice.
    Json before = Json::parse(setUp("dump").dump, nullptr, false);
    recorder_.files(member(before, "fileStatus"), member(before, "fileWords"));
    if (member(member(before, "fileStatus"), "state") == "missing") {
        std::string line = "state";
        for (const auto& a : options_.apps)
            if (a.chosen) line += std::string(" ") + kChosenPrefix + a.bundle + "=true";
        if (line != "state") setUp(line);
    }
    ++generation_;
    hub_.addTrace(FrameHub::TraceKind::Note, generation_ == 1 ? "home screen started" : "home screen started again");
    clock_->restart();
    order_->reset();
    setUp("boot");
    clock_->markNow();
}

void Phone::stopChild() {
    // The destructor ends the child's input: its process ends as the
    // device's home screen does, and the device root stays.
    link_->stop();
}

void Phone::recover(const std::string& why) {
    link_->stop();
    double now = options_.clock();
    if (now - lastFailure_ > 30) recentFailures_ = 0;
    lastFailure_ = now;
    ++recentFailures_;
    hub_.addTrace(FrameHub::TraceKind::Note, "the home screen stopped: " + why);
    failure_ = why;
    // A home screen that keeps failing is left down until a respring asks
    // for it again, rather than restarted in a loop.
    if (recentFailures_ <= 3) {
        try {
            startChild();
            publish();
        } catch (const ChildGone& e) {
            link_->stop();
            failure_ = e.what();
        }
    }
    hub_.setMeta(metaLocked());
    hub_.flush();
}

} // namespace playground
