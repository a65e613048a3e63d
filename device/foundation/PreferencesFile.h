// One preferences file as the preferences daemon keeps it. On the phone the
// daemon reads a file once, keeps it in memory, answers reads from there
// and writes the whole of its copy back at every change: a file edited
// behind its back is not seen, and is overwritten at its next write; a file
// it cannot read counts as empty, so that write replaces it. (A file past
// the device's size limit is the exception: it is this device's limit, not
// the phone's, so such a file is never rewritten and every write to it
// fails.)
//
// The copy is the file's libplist tree, so the keys no change touches are
// written back exactly as they were read (UIDs, 16-byte integers, exact
// dates, their place in the file). A write goes like this:
//
//   lock "<file>.lock" (flock, exclusive; a sidecar so that the lock
//   survives the rename that replaces the file)
//   remove orphaned temporary files (below)
//   look at the file (below): read it into the copy if there is no copy
//     yet, or if another daemon wrote it since
//   set or remove the keys in the copy
//   write "<dir>/.<file>.XXXXXX" in the copy's format, fsync it
//   note the new file in the sidecar; rename it over the file, fsync the
//     directory
//   unlock
//
// Any failure before the rename puts the copy back as it was, removes the
// temporary file and leaves the old file as it was. Readers need no lock:
// they see either the old file or the new one, never a part of either.
//
// One daemon per device, one per process here. A phone has a single
// daemon, so several processes writing one file (the crash-safety tests)
// must not count each other's writes as edits behind their backs: every
// write notes the file it leaves (device, inode, size, modification time)
// in the sidecar, and a file that some daemon left is read again by a
// daemon whose copy is older. A file that matches neither the copy nor the
// sidecar was changed by someone else: the copy stands and overwrites it.
//
// A writer killed between making its temporary file and the rename leaves
// that file behind (hidden, so no reader ever opens it). Writers make
// temporary files only while they hold the lock, so whatever temporary of
// this file exists once the lock is ours belongs to a dead writer: each
// write removes them, and a killed writer costs at most one file, until
// the next write.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "foundation/Foundation.h"
#include "foundation/PropertyList.h"
#include "foundation/plist/LibplistNodes.h"

// What a write did besides writing, for the trace.
enum class PreferencesNotice {
    None,
    // The file had been changed behind the daemon's back (written over,
    // replaced or removed): that change is gone.
    OverwroteEdit,
    // The file could not be read when the daemon first looked at it: it
    // counted as empty and is now replaced.
    ReplacedUnreadable,
};

class PreferencesFile {
public:
    explicit PreferencesFile(std::string hostPath) : hostPath_(std::move(hostPath)) {}
    PreferencesFile(const PreferencesFile&) = delete;
    PreferencesFile& operator=(const PreferencesFile&) = delete;

    struct Outcome {
        bool ok = false;
        PreferencesNotice notice = PreferencesNotice::None;
    };
    // Sets (or, for nil, removes) each key in turn and writes the copy in
    // one rewrite. Not ok, and the copy and the file as they were, when a
    // key is not plain text, a value has no property-list form, or the file
    // cannot be written.
    Outcome write(const std::vector<std::pair<std::string, id>>& changes);
    // The copy's value for key (reading the file first if there is no copy
    // yet), or nil.
    id objectForKey(const std::string& key);

    // What identifies one version of the file on disk.
    struct Stamp {
        uint64_t device = 0, inode = 0, size = 0;
        int64_t modified = 0; // nanoseconds
        bool present = false;
        bool operator==(const Stamp&) const = default;
    };

private:
    // Reads the file into the copy when there is none yet, or when another
    // daemon wrote the file since (the sidecar names it); otherwise tells
    // whether the file was changed behind this daemon's back. Call only
    // while holding the lock (lockFd).
    bool edited(int lockFd);
    void load(const Stamp& now);

    std::string hostPath_;
    propertylist::PlistOwner tree_;
    PropertyListFormat format_ = PropertyListFormat::Binary;
    Stamp stamp_; // the file as the copy last saw it
    bool loaded_ = false;
    bool unreadable_ = false; // the copy stands for a file it could not read
    bool tooLarge_ = false;   // past the device's size limit: never rewritten
};
