// Whether the process can show windows at all. Inside a host program the library's windows and
// clipboard calls fail without a display, as the platform's calls do, and the host goes on; a
// program of ours asks first, says so and ends with its own code.
#pragma once

// Makes the process's application object on first use. False when there is no display to make
// it on (and none is made); nothing is printed.
bool OpenDisplay();

// For a program's main before it returns: a program that owns the clipboard ends its application
// object now, so that the desktop's clipboard manager takes what it copied, while all of Qt still
// lives. Left to the exit handlers, Qt's clean-up could run after parts of Qt it uses were gone
// (the launcher crashed at its end after "Copy Fingerprint"). Otherwise nothing.
void CloseDisplay();

// The one line a program writes to standard error when OpenDisplay fails: that no display is
// named, or that the one named does not answer.
void ReportNoDisplay();
