// The one guard the tests use to run out of disk: for its lifetime the
// process's file-size limit is lowered and SIGXFSZ ignored, so a write
// past the limit fails with EFBIG, as a full disk fails a write, instead
// of killing the process. A limit of 0 makes every write that would grow
// a file fail.
#pragma once

#include <signal.h>
#include <sys/resource.h>

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        ::sigaction(SIGXFSZ, &ignore, &savedAction_);
        struct rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        ::sigaction(SIGXFSZ, &savedAction_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    // Whether the limit could be lowered (a test that needs it says so).
    bool ok() const { return ok_; }

private:
    struct rlimit saved_ {};
    struct sigaction savedAction_ {};
    bool ok_ = false;
};
