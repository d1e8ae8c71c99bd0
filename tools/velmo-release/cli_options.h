// The command line of one subcommand: "--name value" options and plain
// arguments. Unknown, repeated or value-less options are refused.
#ifndef VELMO_RELEASE_CLI_OPTIONS_H
#define VELMO_RELEASE_CLI_OPTIONS_H

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

class CliOptions {
 public:
  CliOptions(int argc, char** argv, std::initializer_list<const char*> known_options);

  std::optional<std::string> Get(const std::string& name) const;
  std::string Require(const std::string& name) const;
  const std::vector<std::string>& Positional() const { return positional_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
};

// A whole decimal number in [low, high]; option names the value in errors.
long long ParseInteger(const std::string& text, long long low, long long high, const std::string& option);

#endif
