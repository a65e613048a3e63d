// The home-screen process as the device sees it: every process-wide object
// of the platform (class table, notification centres, run loop, windows,
// application) lives in one Process. Ending the process drops them all;
// the next use makes a fresh one, which is what a respring does on the
// device. Files on disk belong to the device, not the process, and stay.
#pragma once

#include <cstdint>
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
    //
    // Every platform call reaches its state through here, many times per
    // event, and hashing a type's name each time was a fifth of the cost
    // of showing a hundred bubbles. So each type remembers where its
    // component was found, valid while the tables keep the stamp they had
    // then: any change to them (a component made or destroyed, a new
    // process) takes a fresh stamp.
    template <class T>
    T& get() {
        struct Found {
            const Process* owner;
            uint64_t stamp;
            T* component;
        };
        static constinit Found found{nullptr, 0, nullptr};
        if (found.owner == this && found.stamp == stamp_) return *found.component;
        T* component;
        auto it = components_.find(std::type_index(typeid(T)));
        if (it != components_.end()) {
            component = static_cast<T*>(it->second);
        } else {
            auto owned = std::make_unique<T>();
            component = owned.get();
            components_.emplace(std::type_index(typeid(T)), owned.get());
            order_.push_back(std::move(owned));
            stamp_ = nextStamp();
        }
        found = Found{this, stamp_, component};
        return *component;
    }

    // Runs after every component's shutdown(), before their destruction.
    void atTermination(std::function<void()> handler) { terminationHandlers_.push_back(std::move(handler)); }

    ~Process();

private:
    Process() : stamp_(nextStamp()) {}
    void destroyComponents();
    // Never the same twice in a run of the program.
    static uint64_t nextStamp();
    uint64_t stamp_;
    std::unordered_map<std::type_index, ProcessComponent*> components_;
    std::vector<std::unique_ptr<ProcessComponent>> order_;
    std::vector<std::function<void()>> terminationHandlers_;
};
