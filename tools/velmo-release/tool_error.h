// The one kind of failure the release tool reports: a one-line message that
// names the problem. main() prints it and exits non-zero.
#ifndef VELMO_RELEASE_TOOL_ERROR_H
#define VELMO_RELEASE_TOOL_ERROR_H

#include <stdexcept>
#include <string>

struct ToolError : std::runtime_error {
  explicit ToolError(const std::string& message) : std::runtime_error(message) {}
};

// OpenSSL keeps its own error queue; this turns its latest entry into text
// ("" when the queue is empty) and clears the queue.
std::string TakeOpenSslError();

// Error messages quote what the user gave; this escapes control characters
// in them so that every message stays on one line.
std::string OneLine(const std::string& text);

#endif
