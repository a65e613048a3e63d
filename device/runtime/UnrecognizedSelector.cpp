#include "runtime/UnrecognizedSelector.h"

namespace {

std::string reasonFor(const std::string& className, const std::string& selector, bool toClass) {
    std::string reason = toClass ? "+[" : "-[";
    reason += className;
    reason += " ";
    reason += selector;
    reason += toClass ? "]: unrecognized selector sent to class" : "]: unrecognized selector sent to instance";
    return reason;
}

} // namespace

UnrecognizedSelector::UnrecognizedSelector(std::string className, std::string selector, bool toClass)
    : std::runtime_error(reasonFor(className, selector, toClass)),
      className_(std::move(className)),
      selector_(std::move(selector)),
      toClass_(toClass) {}

std::string UnrecognizedSelector::method() const {
    return std::string(toClass_ ? "+[" : "-[") + className_ + " " + selector_ + "]";
}
