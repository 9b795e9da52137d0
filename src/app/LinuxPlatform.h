#pragma once
#include "platform/Platform.h"

#include <memory>

namespace kr {

// The real platform services of a Linux desktop session, owned together.
class LinuxPlatform {
public:
    LinuxPlatform();
    ~LinuxPlatform();
    Platform& services() { return m_platform; }

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    Platform m_platform;
};

} // namespace kr
