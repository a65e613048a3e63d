#include "foundation/PreferencesDaemon.h"

PreferencesDaemon& PreferencesDaemon::shared() {
    static PreferencesDaemon daemon;
    return daemon;
}

void PreferencesDaemon::TrayLock::lock() {
    for (unsigned spins = 0; flag_.test_and_set(std::memory_order_acquire); ++spins)
        if (spins >= 64) std::this_thread::yield();
}

PreferencesDaemon::~PreferencesDaemon() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        wake_.notify_one();
    }
    if (thread_.joinable()) thread_.join();
}

void PreferencesDaemon::submit(Change change) {
    std::call_once(started_, [this] { thread_ = std::thread([this] { run(); }); });
    std::lock_guard<TrayLock> tray(trayLock_);
    tray_.push_back(std::move(change));
}

PreferencesFile& PreferencesDaemon::copyOf(const std::string& hostPath) {
    auto& copy = copies_[hostPath];
    if (!copy) copy = std::make_unique<PreferencesFile>(hostPath);
    return *copy;
}

PreferencesFile::Outcome PreferencesDaemon::writeNow(const std::string& hostPath,
                                                     const std::vector<std::pair<std::string, id>>& changes) {
    wait();
    std::lock_guard<std::mutex> copies(copiesMutex_);
    return copyOf(hostPath).write(changes);
}

id PreferencesDaemon::objectForKey(const std::string& hostPath, const std::string& key) {
    wait();
    std::lock_guard<std::mutex> copies(copiesMutex_);
    return copyOf(hostPath).objectForKey(key);
}

std::vector<PreferencesDaemon::Done> PreferencesDaemon::waitAndCollect() {
    std::unique_lock<std::mutex> lock(mutex_);
    waitUntilIdle(lock);
    return std::exchange(finished_, {});
}

void PreferencesDaemon::wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    waitUntilIdle(lock);
}

void PreferencesDaemon::forgetCopies() {
    wait();
    std::lock_guard<std::mutex> copies(copiesMutex_);
    copies_.clear();
}

// Nothing in the tray and nothing being written.
bool PreferencesDaemon::idle() {
    std::lock_guard<TrayLock> tray(trayLock_);
    return tray_.empty() && !busy_;
}

void PreferencesDaemon::waitUntilIdle(std::unique_lock<std::mutex>& lock) {
    if (idle()) return;
    woken_ = true;
    wake_.notify_one();
    idle_.wait(lock, [this] { return idle(); });
}

void PreferencesDaemon::run() {
    for (;;) {
        std::vector<Change> batch;
        {
            std::lock_guard<TrayLock> tray(trayLock_);
            batch.swap(tray_);
            busy_ = !batch.empty();
        }
        if (batch.empty()) {
            // Whoever waits for the tray to empty may go on; then sleep
            // until the next collection or a waiter's call.
            std::unique_lock<std::mutex> lock(mutex_);
            idle_.notify_all();
            wake_.wait_for(lock, kCollectInterval, [this] { return woken_ || stop_; });
            woken_ = false;
            if (stop_ && idle()) return; // stopping, and everything written
            continue;
        }
        std::vector<Done> done = write(std::move(batch));
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& d : done) finished_.push_back(std::move(d));
        // Still busy until the tray is seen empty at the top of the loop:
        // a waiter must not go on between this batch and the next.
    }
}

std::vector<PreferencesDaemon::Done> PreferencesDaemon::write(std::vector<Change> batch) {
    std::vector<Done> out(batch.size());
    std::vector<bool> taken(batch.size(), false);
    std::lock_guard<std::mutex> copies(copiesMutex_);
    for (size_t i = 0; i < batch.size(); ++i) {
        if (taken[i]) continue;
        const std::string& hostPath = batch[i].paths->hostPath;
        std::vector<size_t> members;
        std::vector<std::pair<std::string, id>> changes;
        for (size_t j = i; j < batch.size(); ++j) {
            if (taken[j] || batch[j].paths->hostPath != hostPath) continue;
            taken[j] = true;
            members.push_back(j);
            changes.emplace_back(batch[j].key, batch[j].value);
        }
        PreferencesFile& file = copyOf(hostPath);
        PreferencesFile::Outcome written = file.write(changes);
        if (!written.ok && members.size() > 1) {
            // A batch that fails as a whole may fail for one change alone (a
            // key the file format cannot hold): each is then tried on its
            // own, so the others are not lost with it.
            bool told = false;
            for (size_t m : members) {
                PreferencesFile::Outcome one = file.write({{batch[m].key, batch[m].value}});
                out[m].ok = one.ok;
                if (!told && one.notice != PreferencesNotice::None) {
                    out[m].notice = one.notice;
                    told = true;
                }
            }
        } else {
            for (size_t m : members) out[m].ok = written.ok;
            out[members.front()].notice = written.notice;
        }
    }
    for (size_t i = 0; i < batch.size(); ++i) out[i].change = std::move(batch[i]);
    return out;
}
