// What the platform raises for a message to a live object whose class has
// no method for it: NSInvalidArgumentException, "-[CLASS SELECTOR]:
// unrecognized selector sent to instance" ("+[...]... sent to class" for a
// class method). Uncaught, it ends the process: on the phone the home
// screen restarts. Here it is a C++ exception that unwinds to whoever
// drives the device (the simulator ends the home screen's process).
#pragma once

#include <stdexcept>
#include <string>

class UnrecognizedSelector : public std::runtime_error {
public:
    UnrecognizedSelector(std::string className, std::string selector, bool toClass);
    const std::string& className() const { return className_; }
    const std::string& selector() const { return selector_; }
    // "-[CLASS SELECTOR]" or "+[CLASS SELECTOR]".
    std::string method() const;
    static constexpr const char* kName = "NSInvalidArgumentException";

private:
    std::string className_;
    std::string selector_;
    bool toClass_;
};
