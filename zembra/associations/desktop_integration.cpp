#include "zembra/associations/desktop_integration.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/core/files.h"
#include "platform/core/format.h"
#include "platform/core/text_file.h"
#include "platform/core/xdg_dirs.h"
#include "platform/gui/png_image.h"
#include "zembra/associations/desktop_entry.h"
#include "zembra/associations/mime_globs.h"
#include "zembra/associations/mimeapps_list.h"
#include "zembra/operations/messages.h"
#include "zembra/ui/app_icon.h"

namespace {

// The dialog's caption names the action that opens it.
constexpr std::string_view kActionName = "Zembra Shell Integration";

void ReportWriteFailure(int messageId, const std::string& path, int error) {
  const std::string line = FormatText(LoadMessage(messageId), path, std::strerror(error));
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
}

std::string ReadOrEmpty(const std::string& path) {
  std::string text;
  ReadTextFile(path, text);
  return text;
}

// Data folders in the order the desktop searches them: the user's first.
std::vector<std::string> DataFolders() {
  std::vector<std::string> folders{XdgDataHome()};
  for (const std::string& dir : XdgDataDirs()) folders.push_back(dir);
  return folders;
}

// The mimeapps.list files, most important first, as the desktop reads them.
std::vector<std::string> MimeAppsLists() {
  std::vector<std::string> config{XdgConfigHome()};
  for (const std::string& dir : XdgConfigDirs()) config.push_back(dir);
  std::vector<std::string> lists;
  const std::vector<std::string> desktops = XdgCurrentDesktops();
  auto add = [&](const std::string& folder) {
    for (const std::string& desktop : desktops)
      lists.push_back(folder + "/" + desktop + "-mimeapps.list");
    lists.push_back(folder + "/mimeapps.list");
  };
  for (const std::string& dir : config) add(dir);
  for (const std::string& dir : DataFolders()) add(dir + "/applications");
  return lists;
}

// The installed file of a desktop id ("vendor-app.desktop" may also lie at "vendor/app.desktop").
std::optional<std::string> FindDesktopFile(const std::string& desktopId) {
  if (desktopId.empty() || desktopId.find('/') != std::string::npos) return std::nullopt;
  for (const std::string& dir : DataFolders()) {
    std::string path = dir + "/applications/" + desktopId;
    if (IsReadable(path)) return path;
    const std::size_t dash = desktopId.find('-');
    if (dash != std::string::npos) {
      std::string nested = desktopId;
      nested[dash] = '/';
      path = dir + "/applications/" + nested;
      if (IsReadable(path)) return path;
    }
  }
  return std::nullopt;
}

std::optional<std::string> FirstInstalled(const std::vector<std::string>& ids) {
  for (const std::string& id : ids) {
    if (FindDesktopFile(id)) return id;
  }
  return std::nullopt;
}

bool EditMimeApps(const std::vector<std::string>& mimeTypes, bool claim) {
  const std::string path = UserMimeAppsList();
  std::string text;
  const int error = ReadTextFile(path, text);
  if (error != 0 && error != ENOENT) {
    ReportWriteFailure(IDS_ASSOC_MIMEAPPS_FAILED, path, error);
    return false;
  }
  // A missing file that gains nothing is not created.
  if (error == ENOENT && !claim) return true;
  std::string edited = text;
  for (const std::string& type : mimeTypes) {
    edited = claim ? AddDefaultApplication(edited, type, kZembraDesktopId)
                   : RemoveDefaultApplication(edited, type, kZembraDesktopId);
  }
  if (edited == text && error == 0) return true;
  if (!WriteTextFile(path, edited)) {
    ReportWriteFailure(IDS_ASSOC_MIMEAPPS_FAILED, path, errno);
    return false;
  }
  return true;
}

void WriteOrReport(const std::string& path, const std::string& content) {
  if (!WriteTextFile(path, content)) ReportWriteFailure(IDS_ASSOC_DESKTOP_FAILED, path, errno);
}

void RemoveIfPresent(const std::string& path) {
  if (const int error = RemoveFile(path); error != 0 && error != ENOENT) {
    ReportWriteFailure(IDS_ASSOC_DESKTOP_FAILED, path, error);
  }
}

}  // namespace

std::string UserMimeAppsList() { return XdgConfigHome() + "/mimeapps.list"; }

std::string UserDesktopEntryPath() { return XdgDataHome() + "/applications/" + kZembraDesktopId; }

std::string UserIconPath(int size) {
  const std::string dim = std::to_string(size);
  return XdgDataHome() + "/icons/hicolor/" + dim + "x" + dim + "/apps/zembra.png";
}

std::vector<std::string> ExtensionMimeTypes(const char* extension) {
  std::vector<std::string> types;
  for (const std::string& dir : DataFolders()) {
    for (std::string& type : MimeTypesFromGlobs2(ReadOrEmpty(dir + "/mime/globs2"), extension)) {
      if (type.rfind("text/", 0) == 0) continue;
      if (std::find(types.begin(), types.end(), type) == types.end())
        types.push_back(std::move(type));
    }
  }
  return types;
}

std::string DesktopDefaultApplication(const std::string& mimeType) {
  const std::vector<std::string> lists = MimeAppsLists();
  for (const std::string& list : lists) {
    const std::string text = ReadOrEmpty(list);
    if (auto id = FirstInstalled(ListedApplications(text, kDefaultApplications, mimeType)))
      return *id;
  }
  for (const std::string& list : lists) {
    const std::string text = ReadOrEmpty(list);
    if (auto id = FirstInstalled(ListedApplications(text, "Added Associations", mimeType)))
      return *id;
  }
  for (const std::string& dir : DataFolders()) {
    const std::string cache = ReadOrEmpty(dir + "/applications/mimeinfo.cache");
    if (auto id = FirstInstalled(ListedApplications(cache, "MIME Cache", mimeType))) return *id;
  }
  return {};
}

std::optional<std::string> DesktopApplicationText(const std::string& desktopId) {
  const std::optional<std::string> path = FindDesktopFile(desktopId);
  if (!path) return std::nullopt;
  const std::string text = ReadOrEmpty(*path);
  const std::string name =
      UnescapeDesktopString(DesktopEntryValue(text, "Desktop Entry", "Name").value_or(desktopId));
  const std::string exec =
      UnescapeDesktopString(DesktopEntryValue(text, "Desktop Entry", "Exec").value_or(""));
  return name + "\r\n" + exec;
}

bool ClaimMimeTypes(const std::vector<std::string>& mimeTypes) {
  return EditMimeApps(mimeTypes, true);
}

bool ReleaseMimeTypes(const std::vector<std::string>& mimeTypes) {
  return EditMimeApps(mimeTypes, false);
}

std::vector<std::string> InstalledEntryMimeTypes() {
  const std::string text = ReadOrEmpty(UserDesktopEntryPath());
  return SplitDesktopList(DesktopEntryValue(text, "Desktop Entry", "MimeType").value_or(""));
}

void UpdateDesktopEntry(const std::string& programPath, const std::vector<std::string>& mimeTypes) {
  if (mimeTypes.empty()) {
    RemoveIfPresent(UserDesktopEntryPath());
    for (int size : kAppIconSizes) RemoveIfPresent(UserIconPath(size));
    return;
  }
  for (int size : kAppIconSizes) {
    const std::vector<std::uint32_t> pixels = DrawAppIcon(size);
    const std::string png = EncodePng(IconImage{size, pixels.data()});
    if (!png.empty()) WriteOrReport(UserIconPath(size), png);
  }
  WriteOrReport(
      UserDesktopEntryPath(),
      MakeDesktopEntry(programPath, mimeTypes, LoadMessage(IDS_PRODUCT_NAME), kActionName));
}
