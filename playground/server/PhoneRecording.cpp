// The phone's recording and its replay: the requests {"type": "record",
// "op": ...} and what a respring and the clock do while they run.
#include <algorithm>
#include <cmath>
#include <deque>

#include "playground/server/Phone.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;

namespace {

bool contains(const Json& frame, double x, double y) {
    if (!frame.is_array() || frame.size() != 4) return false;
    for (const auto& v : frame)
        if (!v.is_number()) return false;
    double fx = frame[0].get<double>(), fy = frame[1].get<double>();
    return x >= fx && y >= fy && x < fx + frame[2].get<double>() && y < fy + frame[3].get<double>();
}

// The bubble, window or host a point on the screen is over, top first.
std::vector<std::string> checksAt(const Json& dump, double x, double y) {
    const Json& bubbles = member(dump, "bubbles");
    if (bubbles.is_array()) {
        for (auto it = bubbles.rbegin(); it != bubbles.rend(); ++it)
            if (!isTrue(*it, "hidden") && contains(member(*it, "frame"), x, y)) return bubbleChecks(*it);
    }
    const Json& windows = member(dump, "windows");
    if (windows.is_array()) {
        for (size_t i = windows.size(); i-- > 0;)
            if (!isTrue(windows[i], "hidden") && contains(member(windows[i], "frame"), x, y))
                return windowChecks(i, windows[i]);
    }
    return hostChecks(member(dump, "host"));
}

} // namespace

Json Phone::actRecord(const Json& r) {
    std::string op = text(r, "op");
    if (op == "start") {
        // Every recording begins at a start: the home screen starts again
        // with the files as they are, and the recording keeps its set-up.
        replay_->end("the replay stopped: recording");
        recorder_.begin();
        Json result = actRespring();
        if (result.value("ok", false) != true) recorder_.end();
        return result;
    }
    if (op == "stop") {
        recorder_.end();
        return {{"ok", true}};
    }
    if (op == "check") return recordCheck(r);
    if (op == "echo") {
        if (!recorder_.keeping()) return error("comments are lines of a recording: start recording first");
        auto line = echoLine(text(r, "text"));
        if (!line) return error("a comment is one line of at most 200 printable characters");
        recorder_.add(*line);
        return {{"ok", true}};
    }
    if (op == "delete") {
        const Json& id = member(r, "id");
        if (!id.is_number_integer() || !recorder_.remove(id.get<long long>())) return error("no such line");
        return {{"ok", true}};
    }
    if (op == "replay") {
        const Json& speed = member(r, "speed");
        if (!speed.is_null() && (!speed.is_number() || !(speed.get<double>() >= 1 && speed.get<double>() <= 10)))
            return error("a replay's speed is from 1 to 10");
        replay_->setSpeed(speed.is_null() ? 1.0 : speed.get<double>());
        return startReplay();
    }
    if (op == "endReplay") {
        replay_->end("the replay stopped: the phone is yours again");
        return {{"ok", true}};
    }
    return error("a recording's op is start, stop, check, echo, delete, replay or endReplay");
}

Json Phone::recordCheck(const Json& r) {
    if (!recorder_.keeping()) return error("checks are lines of a recording: start recording first");
    // The dump of this instant: the check holds at this point of the replay.
    Json dump = Json::parse(run("dump", false).dump, nullptr, false);
    if (!dump.is_object()) return error("the home screen gave no dump");
    std::vector<std::string> lines;
    const Json& at = member(r, "at");
    if (at.is_array() && at.size() == 2 && at[0].is_number() && at[1].is_number()) {
        lines = checksAt(dump, at[0].get<double>(), at[1].get<double>());
    } else if (member(r, "bubble").is_string()) {
        for (const auto& b : member(dump, "bubbles"))
            if (member(b, "bundle") == r["bubble"]) lines = bubbleChecks(b);
        if (lines.empty()) return error("no bubble of " + r["bubble"].get<std::string>());
    } else if (member(r, "file").is_string() && member(r, "key").is_string()) {
        lines = fileChecks(text(r, "file"), text(r, "key"), member(dump, "files"));
    } else if (isTrue(r, "host")) {
        lines = hostChecks(member(dump, "host"));
    } else if (member(r, "trace").is_string()) {
        if (auto line = traceCheck(text(r, "trace"))) lines.push_back(*line);
    } else {
        return error("a check names what it checks: at [x, y], bubble, file and key, host or trace");
    }
    if (lines.empty()) return error("there is nothing to check there");
    for (const auto& l : lines) recorder_.add(l);
    return {{"ok", true}, {"added", lines}};
}

Json Phone::respringInPlace() {
    SimAnswer a = run("respring");
    if (!a.ok()) throw ChildGone("the home screen refused respring: " + a.error);
    ++generation_;
    hub_.addTrace(FrameHub::TraceKind::Note, "home screen started again");
    clock_->dropGesture();
    order_->reset();
    recentFailures_ = 0;
    return {{"ok", true}};
}

// The recording runs again on a new phone: both files gone, a new
// home-screen process, and the recorded lines from its set-up on, paced
// by the wall clock so the person watches it happen.
Json Phone::startReplay() {
    if (recorder_.lines().empty()) return error("nothing is recorded yet");
    recorder_.end();
    std::deque<std::string> lines;
    for (const auto& l : recorder_.lines()) lines.push_back(l.text);
    hub_.addTrace(FrameHub::TraceKind::Note, "replaying the recording on a new phone");
    stopChild();
    link_->start(options_.simProgram, options_.root, options_.answerTimeoutMs);
    failure_.clear();
    run("delete settings", false);
    run("delete state", false);
    link_->forgetHost();
    clock_->restart();
    order_->reset();
    ++generation_;
    replay_->begin(std::move(lines));
    clock_->markNow();
    return {{"ok", true}};
}

Json Phone::recording() const {
    std::lock_guard lock(mutex_);
    Json lines = Json::array();
    for (const auto& l : recorder_.lines()) lines.push_back({{"id", l.id}, {"text", l.text}});
    Json out = {{"recording", recorder_.recording()},
                {"keeping", recorder_.keeping()},
                {"replaying", replay_->running()},
                {"revision", recorder_.revision()},
                {"lines", lines}};
    out["firstLine"] = Recorder::firstLine();
    return out;
}

std::string Phone::recordedScenario() const {
    std::lock_guard lock(mutex_);
    return recorder_.scenario();
}

} // namespace playground
