#pragma once

#include <csignal>

#include <sys/resource.h>

namespace vividra::test {

// A full disk for this process until lift() or the end of the scope: writes past `bytes` fail
// with EFBIG once the signal that would end the process is ignored. Root is bound by it too.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        if (getrlimit(RLIMIT_FSIZE, &saved_) != 0)
            return;
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
        if (!ok_)
            std::signal(SIGXFSZ, oldHandler_);
    }
    ~FileSizeLimit() { lift(); }
    void lift() {
        if (!ok_)
            return;
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
        ok_ = false;
    }
    // False where the limit cannot be set, or once it is lifted.
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
    bool ok_ = false;
};

} // namespace vividra::test
