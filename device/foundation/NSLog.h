// NSLog: formatted lines (printf style, %@ takes a const NSObject*) go to a
// sink that the host sets, and are kept for the process.
#pragma once

#include <functional>
#include <string>
#include <vector>

void NSLog(const char* format, ...);

class LogSink {
public:
    static void setHandler(std::function<void(const std::string&)> handler);
    static const std::vector<std::string>& lines();
};
