#include "platform/gui/file_uri_list.h"

#include <QByteArray>
#include <QList>

namespace {

QByteArray UriOfPath(const std::string& path) {
  return "file://" + QByteArray::fromStdString(path).toPercentEncoding("/");
}

std::string PathOfUri(const QByteArray& uri, bool* otherHost) {
  *otherHost = false;
  if (uri.isEmpty() || uri.startsWith('#')) return {};
  QByteArray rest;
  if (uri.startsWith("file://")) {
    rest = uri.mid(7);
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0) return {};
    // The same path on another machine is another file.
    const QByteArray host = rest.left(slash);
    if (!host.isEmpty() && host.toLower() != "localhost") {
      *otherHost = true;
      return {};
    }
    rest = rest.mid(slash);
  } else if (uri.startsWith("file:/")) {
    rest = uri.mid(5);
  } else {
    return {};
  }
  std::string path = QByteArray::fromPercentEncoding(rest).toStdString();
  // "%00" would cut the name short at every open(): the file opened would not be the one named.
  if (path.find('\0') != std::string::npos) return {};
  return path;
}

}  // namespace

std::string UriListOfPaths(const std::vector<std::string>& paths) {
  QByteArray list;
  for (const std::string& path : paths) list += UriOfPath(path) + "\r\n";
  return list.toStdString();
}

std::string GnomeCopiedFilesOfPaths(const std::vector<std::string>& paths) {
  QByteArray list("copy");
  for (const std::string& path : paths) list += '\n' + UriOfPath(path);
  return list.toStdString();
}

std::vector<std::string> PathsOfUriList(std::string_view list, std::vector<std::string>* notLocal) {
  std::vector<std::string> paths;
  const QByteArray bytes(list.data(), static_cast<qsizetype>(list.size()));
  for (const QByteArray& line : bytes.split('\n')) {
    bool otherHost = false;
    std::string path = PathOfUri(line.trimmed(), &otherHost);
    if (!path.empty()) paths.push_back(std::move(path));
    if (otherHost && notLocal) notLocal->push_back(line.trimmed().toStdString());
  }
  return paths;
}
