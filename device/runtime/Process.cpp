#include "runtime/Process.h"

namespace {
std::unique_ptr<Process>& slot() {
    static std::unique_ptr<Process> process;
    return process;
}
} // namespace

uint64_t Process::nextStamp() {
    static uint64_t last = 0;
    return ++last;
}

Process& Process::current() {
    auto& p = slot();
    if (!p) p.reset(new Process());
    return *p;
}

bool Process::exists() { return slot() != nullptr; }

void Process::terminate() {
    auto& p = slot();
    if (!p) return;
    for (auto it = p->order_.rbegin(); it != p->order_.rend(); ++it) (*it)->shutdown();
    // Handlers may add handlers (unloading a plugin may run its code); take
    // them in turns until none is left.
    while (!p->terminationHandlers_.empty()) {
        auto handlers = std::move(p->terminationHandlers_);
        p->terminationHandlers_.clear();
        for (auto& h : handlers) h();
    }
    // Destroy while the process is still current, so that a destructor
    // that reaches for a component finds this process, not a new one.
    p->destroyComponents();
    p.reset();
}

// Each component is taken out of the tables before it is destroyed: a
// destructor that reaches for a component (even one already gone, which
// then is made afresh) must find consistent tables, and one made that way
// is destroyed in its turn.
void Process::destroyComponents() {
    while (!order_.empty()) {
        std::unique_ptr<ProcessComponent> last = std::move(order_.back());
        order_.pop_back();
        for (auto it = components_.begin(); it != components_.end(); ++it) {
            if (it->second == last.get()) {
                components_.erase(it);
                break;
            }
        }
        stamp_ = nextStamp();
        last.reset();
    }
}

Process::~Process() { destroyComponents(); }
