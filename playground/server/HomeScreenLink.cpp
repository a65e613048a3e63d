#include "playground/server/HomeScreenLink.h"

#include <stdexcept>

#include "playground/server/FrameHub.h"
#include "playground/server/PhoneParts.h"
#include "playground/server/Recorder.h"
#include "playground/server/RequestValues.h"

namespace playground {

using namespace request;
using namespace parts;

namespace {

std::string commandOf(const std::string& line) {
    auto w = splitSpaces(line);
    return w.empty() ? std::string() : w[0];
}

// Only a dump or a picture leaves the host as it was.
bool looks(const std::string& command) { return command == "dump" || command == "snapshot"; }

} // namespace

void HomeScreenLink::start(const std::string& program, const std::string& root, int answerTimeoutMs) {
    child_ = std::make_unique<SimChild>(program, root, answerTimeoutMs);
}

void HomeScreenLink::check(const std::string& line) const {
    if (!isAllowedLine(line)) throw std::logic_error("the playground composed a line it may not send: " + line);
    if (!child_) throw ChildGone("the home screen is not running");
}

void HomeScreenLink::take(const std::string& line, SimAnswer& answer) {
    for (const auto& t : answer.trace) hub_->addTrace(FrameHub::TraceKind::Sim, t);
    if (!answer.ok()) {
        hub_->addTrace(FrameHub::TraceKind::Note, line + ": " + answer.error);
        return;
    }
    const std::string c = commandOf(line);
    if (c == "dump") {
        Json parsed = Json::parse(answer.dump, nullptr, false);
        if (parsed.is_object()) {
            host_ = member(parsed, "host");
            hostCurrent_ = true;
        }
    }
    if (!looks(c)) recorder_->sent(line);
}

SimAnswer HomeScreenLink::run(const std::string& line, bool echo) {
    check(line);
    if (echo) hub_->addTrace(FrameHub::TraceKind::Input, line);
    if (!looks(commandOf(line))) {
        hostCurrent_ = false;
        ++changes_;
    }
    SimAnswer answer = child_->send(line);
    take(line, answer);
    return answer;
}

std::vector<SimAnswer> HomeScreenLink::runTogether(const std::vector<Line>& lines) {
    std::vector<std::string> texts;
    for (const auto& [line, echo] : lines) {
        check(line);
        texts.push_back(line);
    }
    for (const auto& [line, echo] : lines) {
        if (!looks(commandOf(line))) {
            hostCurrent_ = false;
            ++changes_;
        }
    }
    std::vector<SimAnswer> answers = child_->send(texts);
    // The trace and the host read as if each line had been sent after the
    // answer to the one before.
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].second) hub_->addTrace(FrameHub::TraceKind::Input, lines[i].first);
        if (!looks(commandOf(lines[i].first))) hostCurrent_ = false;
        take(lines[i].first, answers[i]);
    }
    return answers;
}

const Json& HomeScreenLink::host() {
    // The host alone: a whole dump would ask the plugin and read both files.
    if (!hostCurrent_ && child_) run("dump host", false);
    return host_;
}

void HomeScreenLink::forgetHost() {
    host_ = Json::object();
    hostCurrent_ = false;
}

} // namespace playground
