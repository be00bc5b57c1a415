// What this test process holds at a moment, read from /proc: its open descriptors, its children
// and its resident size, for tests that check a long job leaves nothing behind.
#pragma once

#include <cstddef>
#include <vector>

// The descriptors open in this process, the listing's own not counted.
std::size_t OpenDescriptors();

// The processes whose parent is this one, zombies included (an unreaped child is one left).
std::vector<int> ChildProcesses();

// This process's resident size (VmRSS) in KiB; -1 when /proc has none.
long ResidentKiB();
