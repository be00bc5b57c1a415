// The gpg processes a test's engine started on its home, found by that home, never another
// program's gpg.
#pragma once

#include <string>
#include <vector>

// The gpg processes at work on the home (GPGME starts them detached, so they are not our
// children).
std::vector<int> GpgWorkingOn(const std::string& home);
