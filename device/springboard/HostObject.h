// A host object that needs no C++ behaviour of its own: it carries the
// name of its runtime class, a few values that its methods answer, and the
// instance variables its class exposes by name.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "runtime/Runtime.h"

class HostObject : public NSObject {
public:
    explicit HostObject(std::string runtimeClassName) : className_(std::move(runtimeClassName)) {}
    std::string className() const override { return className_; }

    std::map<std::string, id> ivars;   // by instance-variable name
    id object;                         // what `object` answers (call events)
    int64_t status = 0;                // what `status` answers (calls)

private:
    std::string className_;
};
