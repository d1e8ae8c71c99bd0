// Whole-file reads and writes that never leave a half-written file behind.
#ifndef VELMO_RELEASE_FILE_IO_H
#define VELMO_RELEASE_FILE_IO_H

#include <string>
#include <sys/types.h>

// Reads a regular file whole; a missing, unreadable or non-regular file, or
// one larger than max_size bytes, is a ToolError that names it.
std::string ReadWholeFile(const std::string& path, const std::string& what, off_t max_size);

// Writes to a temporary file beside path, flushes it, then renames it over
// path: readers see the old file or the complete new one, never a part.
void ReplaceFile(const std::string& path, const std::string& data, mode_t mode);

// Like ReplaceFile, but the final step is link(), which fails when path
// already exists: an existing file is never overwritten.
void CreateNewFile(const std::string& path, const std::string& data, mode_t mode);

bool PathExists(const std::string& path);

#endif
