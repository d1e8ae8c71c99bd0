#include "cli_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tool_error.h"

CliOptions::CliOptions(int argc, char** argv, std::initializer_list<const char*> known_options) {
  for (int i = 0; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--", 0) != 0) {
      positional_.push_back(arg);
      continue;
    }
    std::string name = arg.substr(2);
    bool known = std::any_of(known_options.begin(), known_options.end(),
                             [&](const char* option) { return name == option; });
    if (!known) throw ToolError("unknown option " + arg);
    if (i + 1 >= argc) throw ToolError("option " + arg + " needs a value");
    if (!values_.emplace(name, argv[++i]).second) throw ToolError("option " + arg + " given twice");
  }
}

std::optional<std::string> CliOptions::Get(const std::string& name) const {
  auto it = values_.find(name);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string CliOptions::Require(const std::string& name) const {
  std::optional<std::string> value = Get(name);
  if (!value || value->empty()) throw ToolError("option --" + name + " is required");
  return *value;
}

long long ParseInteger(const std::string& text, long long low, long long high, const std::string& option) {
  bool digits = !text.empty() && text.size() <= 18 &&
                std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  long long value = digits ? std::strtoll(text.c_str(), nullptr, 10) : -1;
  if (!digits || value < low || value > high) {
    throw ToolError("option --" + option + " must be a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", not '" + text + "'");
  }
  return value;
}
