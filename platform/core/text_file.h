// Whole small text files: configuration files that other programs share with us.
#pragma once

#include <string>

// Reads the whole file into `content`. Returns 0, or the errno of the failure (ENOENT for a
// missing file); `content` is then empty.
int ReadTextFile(const std::string& path, std::string& content);

// Replaces the file's content through a committed output, creating missing parent folders. False
// with errno set when it could not be written; the file is then as it was.
bool WriteTextFile(const std::string& path, const std::string& content);
