#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vividra::test {

// Root writes through any permission. For the scope, the calling thread gives up that power
// (CAP_DAC_OVERRIDE and CAP_FOWNER, only from its effective set, so they come back), so a
// read-only folder is one for root too, as it is for every user.
class ReadOnlyForRoot {
public:
    ReadOnlyForRoot() {
        if (syscall(SYS_capget, &header_, saved_) != 0)
            return;
        __user_cap_data_struct lowered[2] = {saved_[0], saved_[1]};
        lowered[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_FOWNER));
        changed_ = syscall(SYS_capset, &header_, lowered) == 0;
    }
    ~ReadOnlyForRoot() {
        if (changed_)
            syscall(SYS_capset, &header_, saved_);
    }
    ReadOnlyForRoot(const ReadOnlyForRoot&) = delete;
    ReadOnlyForRoot& operator=(const ReadOnlyForRoot&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
    bool changed_ = false;
};

} // namespace vividra::test
