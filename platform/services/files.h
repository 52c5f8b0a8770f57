// The file services: test a name, read a whole file, delete a file, change the current
// directory. Paths are UTF-8 texts; no handle outlives a call. Any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/services/bytes.h"

namespace dd {

// True when the file system has an entry of that name, a file or a directory; false for the
// empty text and whenever the name cannot be looked up.
bool fileExists(std::string_view path);

// The whole content; empty when the path is empty or the file cannot be opened. When reading
// stops early the bytes read so far are returned.
Bytes readFile(std::string_view path);

// True when the file was there and is gone; false for a missing name and for a directory.
bool deleteFile(std::string_view path);

// Makes path the process's current directory; false when it cannot.
bool changeDirectory(std::string_view path);

// True when a new file can be made in the folder (tried, not guessed from permission bits,
// which root ignores).
bool canCreateFilesIn(std::string_view folder);

// Makes the folder and any missing parents; true when it exists afterwards.
bool makeFolders(std::string_view path);

// The process's current directory as UTF-8; empty when it cannot be read.
std::string currentDirectory();

} // namespace dd
