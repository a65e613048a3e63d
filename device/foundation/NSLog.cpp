#include "foundation/NSLog.h"

#include <cstdarg>

#include "foundation/Foundation.h"
#include "runtime/Process.h"

namespace {

// Where lines go is the host's choice for the whole device run, so the
// handler outlives a respring; the lines themselves are the process's.
std::function<void(const std::string&)>& handlerSlot() {
    static std::function<void(const std::string&)> handler;
    return handler;
}

struct LogLines : ProcessComponent {
    std::vector<std::string> lines;
};

} // namespace

void NSLog(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    std::string line = NSString::formatV(format, ap);
    va_end(ap);
    Process::current().get<LogLines>().lines.push_back(line);
    if (auto handler = handlerSlot()) handler(line);
}

void LogSink::setHandler(std::function<void(const std::string&)> handler) { handlerSlot() = std::move(handler); }

const std::vector<std::string>& LogSink::lines() { return Process::current().get<LogLines>().lines; }
