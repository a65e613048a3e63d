// The preferences store. `initWithSuiteName:` given an absolute file path
// opens that property list. Every `setObject:forKey:` goes to the device's
// preferences daemon, which keeps its own copy of the file, sets the key in
// it and writes the whole copy back (a temporary file beside the file,
// flushed and renamed over it, under an exclusive lock), so a failed write
// leaves the old file whole and a writer killed in the middle leaves the
// old file or the new one. As on the phone, the daemon reads a file once:
// a change made to the file behind its back is not seen, and is overwritten
// at its next write (the notice observer hears of it); a file it cannot
// read counts as empty, and its next write replaces it. See
// PreferencesFile.h.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "foundation/Foundation.h"
#include "foundation/PreferencesFile.h"

class NSUserDefaults : public NSObject {
public:
    explicit NSUserDefaults(std::string suiteName) : suite_(std::move(suiteName)) {}
    static std::shared_ptr<NSUserDefaults> initWithSuiteName(std::string suiteName) {
        return std::make_shared<NSUserDefaults>(std::move(suiteName));
    }
    std::string className() const override { return "NSUserDefaults"; }

    // Answers false when the file could not be written; the file on disk is
    // then as it was. A nil value removes the key. While writes are
    // deferred, a property-list value is handed to the preferences daemon
    // and the answer is true at once; the outcome reaches the write
    // observer at the next synchronize().
    // (The key is taken by value: a deferred change keeps it.)
    bool setObjectForKey(const id& value, std::string key);
    bool removeObjectForKey(std::string key) { return setObjectForKey(nullptr, std::move(key)); }
    // The daemon's value for key (its copy, read from the file at first
    // use), after every pending write, or nil.
    id objectForKey(const std::string& key) const;

    const std::string& suiteName() const { return suite_; }
    // The device path of the file: the suite name itself when it is an
    // absolute path, otherwise "/var/mobile/Library/Preferences/<suite>.plist"
    // as for an application domain; empty for an empty suite name.
    std::string filePath() const;

    // Told of every setObjectForKey / removeObjectForKey after it finished:
    // the file's device path, the key, the value (nil for a removal) and
    // whether the write succeeded. It belongs to the device (the host sets
    // it once and it outlives a respring), hence a plain static.
    using WriteObserver = std::function<void(const std::string& devicePath, const std::string& key,
                                             const id& value, bool ok)>;
    static WriteObserver writeObserver;
    static void setWriteObserver(WriteObserver observer) { writeObserver = std::move(observer); }
    // Told, before the write observer hears of its changes, when a write
    // overwrote a change made behind the daemon's back or replaced a file
    // the daemon could not read.
    using NoticeObserver = std::function<void(const std::string& devicePath, PreferencesNotice notice)>;
    static NoticeObserver noticeObserver;
    static void setNoticeObserver(NoticeObserver observer) { noticeObserver = std::move(observer); }

    // Whether setObjectForKey hands its change to the preferences daemon,
    // which writes it on a thread of its own, as on the phone (where the
    // daemon is a process of its own), instead of writing before it
    // returns. The daemon picks changes up every few hundredths of a
    // second, or at once when someone waits for them (synchronize, a
    // reader of the file). Off unless the device's driver turns it on.
    static void setWritesDeferred(bool deferred);
    static bool writesDeferred();
    // Waits until every change handed to the daemon is in its file, then
    // tells the write observer of each, in order, on this thread.
    static void synchronize();
    // Waits until every change handed to the daemon is in its file (a
    // reader of a preferences file sees the changes made before it).
    static void waitForPendingWrites();
    // The daemon starts afresh, holding no file (a new device, or a device
    // whose files were made before its first start): each file is read
    // again at its next use.
    static void forgetCopies();

private:
    std::string suite_;
};
