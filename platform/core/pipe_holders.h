// The processes at the other ends of our pipes. GPGME starts gpg through an intermediate process
// that exits at once, so gpg is no child of ours and its pid is never handed to us; what we do
// hold are the pipes to it.
#pragma once

#include <cstdint>
#include <vector>

// The identity of the pipe behind a descriptor (its inode number), or 0 when it is none.
std::uint64_t PipeIdOf(int fd);

// Ends every process of this user, this one excepted, that holds one of the pipes: SIGTERM,
// so that gpg removes its lock and temporary files, and SIGKILL for one still there after
// graceMs. Returns how many processes were found.
int EndProcessesHoldingPipes(const std::vector<std::uint64_t>& pipes, int graceMs = 2000);
