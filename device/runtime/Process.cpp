#include "runtime/Process.h"

namespace {
std::unique_ptr<Process>& slot() {
    static std::unique_ptr<Process> process;
    return process;
}
} // namespace

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

void Process::destroyComponents() {
    while (!order_.empty()) {
        ProcessComponent* last = order_.back().get();
        for (auto it = components_.begin(); it != components_.end(); ++it) {
            if (it->second == last) {
                components_.erase(it);
                break;
            }
        }
        order_.pop_back();
    }
}

Process::~Process() { destroyComponents(); }
