// Settings files: small text files that may hold passwords. They are read whole,
// with a bound and without waiting on anything that is not a plain file, and
// written in one step, readable by their owner alone when new.
#pragma once

#include <cstddef>
#include <string>

namespace plat {

// Reads the whole file `path` into `text`. A link is followed. False, with the
// reason in `why`, when the path names no regular file (a folder, a pipe, a
// device: refused at once, never waited on), when the file holds more than
// maxBytes, or when it cannot be read.
bool ReadSettingsFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& why);

// Replaces the file `path` with `text` in one step: a reader sees the old text
// or the new one. A new file is readable and writable by its owner alone; a
// replaced one keeps its permissions. A link is followed: the file it names is
// replaced and the link stays. False, with the reason in `why`, when the path
// names something other than a regular file, or a link that names nothing (it
// is not replaced by a file of its own), or when the file cannot be written.
bool WriteSettingsFile(const std::string& path, const std::string& text, std::string& why);

}  // namespace plat
