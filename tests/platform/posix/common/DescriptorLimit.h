// Takes every new file descriptor away from the process while it lives: the soft
// RLIMIT_NOFILE drops to 0, so that any call making a descriptor (socket, open,
// accept, pipe) fails with EMFILE. Descriptors already open keep working.
#pragma once

namespace testutil {

class NoFreeDescriptors {
public:
    NoFreeDescriptors();
    ~NoFreeDescriptors() { Restore(); }
    NoFreeDescriptors(const NoFreeDescriptors&) = delete;
    NoFreeDescriptors& operator=(const NoFreeDescriptors&) = delete;

    // False when the limit could not be lowered.
    bool Active() const { return active_; }
    // Puts the earlier limit back (also done on destruction).
    void Restore();

private:
    bool active_ = false;
    unsigned long long softLimit_ = 0;
};

}  // namespace testutil
