// The home-screen process as the device sees it: every process-wide object
// of the platform (class table, notification centres, run loop, windows,
// application) lives in one Process. Ending the process drops them all;
// the next use makes a fresh one, which is what a respring does on the
// device. Files on disk belong to the device, not the process, and stay.
#pragma once

#include <functional>
#include <memory>
#include <typeindex>
#include <unordered_map>
#include <vector>

// A piece of process-wide platform state. shutdown() runs before any
// component is destroyed and before plugins are unloaded: it must drop
// every reference that could keep plugin objects or plugin code alive
// (observers, timers, windows, animations).
class ProcessComponent {
public:
    virtual ~ProcessComponent() = default;
    virtual void shutdown() {}
};

class Process {
public:
    static Process& current();
    // Ends the current process: shutdown() of every component (newest
    // first), then the termination handlers (the plugin loader unloads
    // plugins there), then the components are destroyed (newest first).
    static void terminate();
    static bool exists();

    // The component of type T, made on first use in this process.
    template <class T>
    T& get() {
        auto it = components_.find(std::type_index(typeid(T)));
        if (it != components_.end()) return static_cast<T&>(*it->second);
        auto owned = std::make_unique<T>();
        T& ref = *owned;
        components_.emplace(std::type_index(typeid(T)), owned.get());
        order_.push_back(std::move(owned));
        return ref;
    }

    // Runs after every component's shutdown(), before their destruction.
    void atTermination(std::function<void()> handler) { terminationHandlers_.push_back(std::move(handler)); }

    ~Process();

private:
    Process() = default;
    void destroyComponents();
    std::unordered_map<std::type_index, ProcessComponent*> components_;
    std::vector<std::unique_ptr<ProcessComponent>> order_;
    std::vector<std::function<void()>> terminationHandlers_;
};
