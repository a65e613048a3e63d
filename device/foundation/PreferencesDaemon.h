// The device's preferences daemon. On the phone, setObject:forKey: hands
// the change to a daemon in its own process and returns; the daemon keeps
// one copy of each file it has read (PreferencesFile) and writes the whole
// of it back, off the caller's thread, several pending changes to one file
// in one rewrite. Here the daemon is a thread of the device's program: it
// belongs to the device, not to one home-screen process, so its copies
// outlast a respring.
//
// A hand-over only puts the change in the daemon's tray: it never wakes
// the daemon. Waking a sleeping thread costs the waker a system call and,
// when the thread's processor is idle, an interrupt to it, tens of
// microseconds on a virtual machine, more than a frame's share for a
// single menu action. The daemon collects the tray on its own every
// kCollectInterval, and at once for whoever waits for the writes
// (synchronize, or a reader of a preferences file), who is about to
// block anyway.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "foundation/PreferencesFile.h"

class PreferencesDaemon {
public:
    // A preferences file's device path and its path on this machine.
    struct FilePaths {
        std::string devicePath;
        std::string hostPath;
    };
    struct Change {
        std::shared_ptr<const FilePaths> paths;
        std::string key;
        id value;
    };
    // A change written (or not), and what its file's write noticed (told
    // with the first change of that write only).
    struct Done {
        Change change;
        bool ok = false;
        PreferencesNotice notice = PreferencesNotice::None;
    };

    static constexpr std::chrono::milliseconds kCollectInterval{20};

    static PreferencesDaemon& shared();

    // Puts a change in the tray, to be written on the daemon's thread.
    void submit(Change change);
    // Writes the changes to one file now, on the caller's thread, after
    // every change already in the tray.
    PreferencesFile::Outcome writeNow(const std::string& hostPath,
                                      const std::vector<std::pair<std::string, id>>& changes);
    // The daemon's value for a key of a file, after every pending change.
    id objectForKey(const std::string& hostPath, const std::string& key);
    // Waits until nothing is pending; answers what was written since the
    // last call, in order, with each outcome.
    std::vector<Done> waitAndCollect();
    void wait();
    // The daemon starts afresh: every pending change is written, then every
    // copy is forgotten, so each file is read again at its next use (a new
    // device, or one whose files were made before its first start).
    void forgetCopies();

    ~PreferencesDaemon();

private:
    PreferencesDaemon() = default;

    // Guards the in-tray. Its holders only push one change or swap the
    // whole tray, a few instructions, so a waiter spins instead of sleeping
    // in the kernel: a kernel wait and wake cost more than the hand-over
    // itself, and the home screen's thread hands over a change per bubble.
    class TrayLock {
    public:
        void lock();
        void unlock() { flag_.clear(std::memory_order_release); }

    private:
        std::atomic_flag flag_ = ATOMIC_FLAG_INIT;
    };

    bool idle();
    void waitUntilIdle(std::unique_lock<std::mutex>& lock);
    void run();
    // One rewrite per file for all its changes, in the order they came.
    std::vector<Done> write(std::vector<Change> batch);
    PreferencesFile& copyOf(const std::string& hostPath);

    std::mutex mutex_; // finished_, woken_, stop_; the waits
    std::condition_variable wake_, idle_;
    TrayLock trayLock_; // tray_, busy_
    std::vector<Change> tray_;
    bool busy_ = false;
    bool woken_ = false;
    bool stop_ = false;
    std::vector<Done> finished_;
    std::mutex copiesMutex_; // copies_ and every copy in it
    std::map<std::string, std::unique_ptr<PreferencesFile>> copies_;
    std::once_flag started_;
    std::thread thread_;
};
