// Drops root's right to ignore permission bits, so that a test of a file that cannot be opened
// or created means the same under root as under a user.
#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// Drops root's right to ignore permission bits on this thread while it lives.
class WithoutDacOverride {
 public:
  WithoutDacOverride() {
    m_header.version = _LINUX_CAPABILITY_VERSION_3;
    m_header.pid = 0;
    if (syscall(SYS_capget, &m_header, m_saved) != 0) return;
    __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
    reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    m_dropped = syscall(SYS_capset, &m_header, reduced) == 0;
  }
  ~WithoutDacOverride() {
    if (m_dropped) syscall(SYS_capset, &m_header, m_saved);
  }

 private:
  __user_cap_header_struct m_header{};
  __user_cap_data_struct m_saved[2]{};
  bool m_dropped = false;
};
