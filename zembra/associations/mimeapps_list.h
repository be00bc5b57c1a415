// Editing a mimeapps.list (the desktop's choice of default programs per MIME type) as text.
// Everything but the one line touched is kept byte for byte: other programs' defaults, other
// groups, comments, blank lines and line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

inline constexpr std::string_view kDefaultApplications = "Default Applications";

// Puts `desktopId` first in the "Default Applications" list of `mimeType`: in front of what is
// there ("type=ours;theirs"), or on a new line right after the group header, or in a new group
// at the end of the text. Nothing changes when it is first already.
std::string AddDefaultApplication(std::string_view text, std::string_view mimeType,
                                  std::string_view desktopId);

// Takes back what AddDefaultApplication put in: `desktopId` leaves the list of `mimeType`; a line
// left without programs goes, and so does a group left without lines.
std::string RemoveDefaultApplication(std::string_view text, std::string_view mimeType,
                                     std::string_view desktopId);

// The desktop ids listed for `mimeType` in the first group named `group`, in order.
std::vector<std::string> ListedApplications(std::string_view text, std::string_view group,
                                            std::string_view mimeType);
