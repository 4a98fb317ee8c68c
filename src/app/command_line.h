// Command-line options declared once: each command lists its options in a table, and the
// same table parses the words after the command's name and prints its usage.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrel {

// One option of a command. `name` is the word that introduces it ("--games"); the entry
// with an empty name takes the command's positional words. The option takes between
// minValues and maxValues words after it (the values beyond minValues end at the next
// word beginning with "--"); `apply` receives them and returns an error text, empty when
// they are good.
struct CliOption {
  std::string name;
  std::string values;  // the values' names in the usage, e.g. "N" or "BINARY DIR [NAME]"
  std::string help;
  int minValues = 1;
  int maxValues = 1;
  std::function<std::string(const std::vector<std::string>&)> apply;
};

// A command: its name, a line saying what it does, and its options.
struct CliCommand {
  std::string name;
  std::string summary;
  std::vector<CliOption> options;
};

// Parses words against the command's table, applying each option in order (an option
// may be given more than once; its apply decides). Returns the first error, or "".
std::string ParseCommandLine(const CliCommand& command, const std::vector<std::string>& words);
// The usage text of a command: the synopsis line, then one line per option.
std::string CommandUsage(const CliCommand& command);

// Strict number readers for option values: the whole word must be a number within
// [lo, hi]. They return an error text naming the option, or "".
std::string ReadInt(const std::string& option, const std::string& word, int64_t lo, int64_t hi, int64_t* out);
std::string ReadUnsigned(const std::string& option, const std::string& word, uint64_t* out);
std::string ReadReal(const std::string& option, const std::string& word, double lo, double hi, double* out);

// Option builders for the common shapes: one integer, one unsigned 64-bit number, one
// real, one text word, a flag without values.
CliOption IntOption(const std::string& name, const std::string& values, const std::string& help, int64_t lo,
                    int64_t hi, int* out);
CliOption Uint64Option(const std::string& name, const std::string& values, const std::string& help, uint64_t* out);
CliOption RealOption(const std::string& name, const std::string& values, const std::string& help, double lo, double hi,
                     double* out);
CliOption TextOption(const std::string& name, const std::string& values, const std::string& help, std::string* out);
CliOption FlagOption(const std::string& name, const std::string& help, bool* out, bool value = true);

}  // namespace kestrel
