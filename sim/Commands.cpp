// The scenario language: every command in one table, made of the core's
// rows and each part's, and the run of one line through it.
#include "sim/Simulator.h"

#include <algorithm>

#include "foundation/NSUserDefaults.h"
#include "runtime/Process.h"
#include "runtime/UnrecognizedSelector.h"
#include "sim/DeviceSetUp.h"
#include "sim/Expectations.h"
#include "sim/HostEvents.h"
#include "sim/PhoneBehaviour.h"
#include "sim/RunOutput.h"
#include "sim/ScenarioParser.h"
#include "sim/Suggest.h"
#include "sim/Touches.h"

// One row of the table, its handler bound to whoever handles it.
struct SimulatorCommand {
    const char* name;
    const char* usage;
    CommandPhase phase;
    const char* bootedReason;
    std::function<std::string(Simulator&, const CommandCall&)> handler;
};

namespace {

using Table = std::vector<SimulatorCommand>;

// A part's rows, each to be handled by the part the simulator owns.
template <class Part>
void addRows(Table& table, Part& (*part)(Simulator&)) {
    for (const CommandRow<Part>& row : Part::rows())
        table.push_back({row.name, row.usage, row.phase, row.bootedReason,
                         [part, handler = row.handler](Simulator& sim, const CommandCall& call) {
                             return (part(sim).*handler)(call);
                         }});
}

std::string unknownCommand(const Table& table, const std::string& name) {
    std::vector<std::string> names;
    for (const auto& c : table) names.push_back(c.name);
    return "unknown command " + name + didYouMean(name, names) + "; springboard-sim help lists every command";
}

// A command without arguments refuses extra words before anything else; a
// command that needs the host refuses to run without one before it looks
// at its words; one that sets the device up refuses once it has booted.
std::string run(Simulator& sim, const SimulatorCommand& command, const Words& words, const std::string& line) {
    std::string usage = command.usage;
    bool takesArguments = usage != command.name;
    if (!takesArguments && words.size() > 1) return usage + " takes no arguments";
    if (command.phase == CommandPhase::Booted && !sim.booted()) return "the device has not booted (boot first)";
    if (command.phase == CommandPhase::BeforeBoot && sim.booted()) return command.bootedReason;
    return command.handler(sim, CommandCall{words, line, "usage: " + usage});
}

} // namespace

// Each command once, in the order the reference lists them: the device's
// set-up and files, the home screen's process, the host's events, the
// phone's own actions, touches and time, and looking.
const std::vector<SimulatorCommand>& Simulator::commands() {
    static const Table table = [] {
        Table t;
        addRows<DeviceSetUp>(t, [](Simulator& s) -> DeviceSetUp& { return *s.setUp_; });
        // A second boot is refused by boot() itself, after the words are
        // checked.
        t.push_back({"boot", "boot [load]", CommandPhase::Any, nullptr, [](Simulator& s, const CommandCall& c) {
                         if (c.words.size() == 1) return s.boot();
                         if (c.words.size() == 2 && c.words[1].text == "load") return s.boot(false);
                         return c.usage;
                     }});
        t.push_back({"launch", "launch", CommandPhase::Booted, nullptr,
                     [](Simulator& s, const CommandCall&) { return s.launch(); }});
        t.push_back({"respring", "respring", CommandPhase::Booted, nullptr,
                     [](Simulator& s, const CommandCall&) { return s.respring(); }});
        addRows<HostEvents>(t, [](Simulator& s) -> HostEvents& { return *s.hostEvents_; });
        addRows<PhoneBehaviour>(t, [](Simulator& s) -> PhoneBehaviour& { return *s.phone_; });
        addRows<Touches>(t, [](Simulator& s) -> Touches& { return *s.touches_; });
        addRows<Expectations>(t, [](Simulator& s) -> Expectations& { return *s.expectations_; });
        addRows<RunOutput>(t, [](Simulator& s) -> RunOutput& { return *s.output_; });
        return t;
    }();
    return table;
}

std::string Simulator::execute(const std::string& line) {
    ParsedLine parsed = splitScenarioLine(line);
    if (!parsed.error.empty()) return parsed.error;
    if (parsed.words.empty()) return "";
    // A command starts with every earlier preference write in its file,
    // those its driver made between commands (as a settings app would)
    // included: what the plugin or the dump reads of a file is then the
    // same on every run.
    NSUserDefaults::waitForPendingWrites();
    const std::string& name = parsed.words[0].text;
    const auto& table = commands();
    auto command = std::find_if(table.begin(), table.end(), [&](const SimulatorCommand& c) { return name == c.name; });
    expectations_->commandStarts(name);
    std::string result, crash;
    try {
        result = command == table.end() ? unknownCommand(table, name) : run(*this, *command, parsed.words, line);
        endTurn();
        // The command's preference writes are in their files before the
        // next command runs, and its trace ends with their outcomes.
        NSUserDefaults::synchronize();
        // What the rest of the phone does in answer comes after the command
        // that asked for it, each answer as a command of its own.
        phone_->answerRequests();
    } catch (const UnrecognizedSelector& e) {
        crash = e.what();
        crashed(e);
    }
    result = expectations_->commandEnds(name, std::move(result), crash);
    if (watcher_) watcher_->commandEnded();
    return result;
}

// The home screen's process dies of an uncaught exception; on the phone
// the home screen then starts again, which here is a respring. One that
// dies again while it starts stays down (until a respring or boot).
void Simulator::crashed(const UnrecognizedSelector& e) {
    emit(std::string("crash ") + UnrecognizedSelector::kName + ": " + e.what());
    NSUserDefaults::synchronize();
    phone_->forgetRequests();
    if (!launched_) {
        Process::terminate();
        booted_ = false;
        emit("the home screen stays down (it crashed while starting)");
        return;
    }
    try {
        respring();
    } catch (const UnrecognizedSelector& again) {
        emit(std::string("crash ") + UnrecognizedSelector::kName + ": " + again.what());
        Process::terminate();
        booted_ = false;
        emit("the home screen stays down (it crashed while starting)");
    }
}

std::vector<std::pair<std::string, std::string>> Simulator::commandUsages() {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& c : commands()) out.emplace_back(c.name, c.usage);
    return out;
}
