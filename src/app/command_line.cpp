// The table-driven parser of command-line options and the usage texts it prints.
#include "app/command_line.h"

#include <cerrno>
#include <cstdlib>

namespace kestrel {

namespace {

bool IsOptionWord(const std::string& w) { return w.size() > 2 && w[0] == '-' && w[1] == '-'; }

const CliOption* FindOption(const CliCommand& command, const std::string& name) {
  for (const CliOption& o : command.options)
    if (o.name == name) return &o;
  return nullptr;
}

// Hands `values` to the option after checking their count.
std::string Apply(const CliOption& o, const std::vector<std::string>& values) {
  const std::string who = o.name.empty() ? "arguments" : o.name;
  if ((int)values.size() < o.minValues) return who + " needs " + (o.values.empty() ? "a value" : o.values);
  if ((int)values.size() > o.maxValues) return "too many " + (o.name.empty() ? "arguments" : "values for " + o.name);
  return o.apply ? o.apply(values) : std::string();
}

// Breaks text into lines of at most `width` characters at blanks, every line after the
// first indented by `indent` blanks.
std::string Wrap(const std::string& text, size_t indent, size_t width) {
  std::string out, line;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && indent + line.size() + 1 + word.size() > width) {
      out += line + "\n" + std::string(indent, ' ');
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
  }
  return out + line;
}

}  // namespace

std::string ParseCommandLine(const CliCommand& command, const std::vector<std::string>& words) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < words.size();) {
    const std::string& w = words[i++];
    const CliOption* o = IsOptionWord(w) ? FindOption(command, w) : nullptr;
    if (!o) {
      // A word that is no option of this command: a positional word when the command
      // takes any, an error otherwise.
      if (IsOptionWord(w) || !FindOption(command, "")) return "unknown option " + w;
      positional.push_back(w);
      continue;
    }
    std::vector<std::string> values;
    // The required values are taken whatever they look like (a negative number is a
    // value); the optional ones stop at the next option word.
    while ((int)values.size() < o->minValues && i < words.size()) values.push_back(words[i++]);
    while ((int)values.size() < o->maxValues && i < words.size() && !IsOptionWord(words[i]))
      values.push_back(words[i++]);
    const std::string err = Apply(*o, values);
    if (!err.empty()) return err;
  }
  const CliOption* rest = FindOption(command, "");
  if (rest) return Apply(*rest, positional);
  return "";
}

std::string CommandUsage(const CliCommand& command) {
  std::string synopsis = "usage: kestrel " + command.name;
  bool hasOptions = false;
  for (const CliOption& o : command.options) hasOptions |= !o.name.empty();
  if (hasOptions) synopsis += " [options]";
  const CliOption* rest = FindOption(command, "");
  if (rest) synopsis += " " + rest->values;
  std::string text = synopsis + "\n  " + Wrap(command.summary, 2, 96) + "\n";
  for (const CliOption& o : command.options) {
    std::string head = "  " + (o.name.empty() ? rest->values : o.name + (o.values.empty() ? "" : " " + o.values));
    if (head.size() < 30) head.append(30 - head.size(), ' ');
    else head += "\n" + std::string(30, ' ');
    text += head + Wrap(o.help, 30, 96) + "\n";
  }
  return text;
}

std::string ReadInt(const std::string& option, const std::string& word, int64_t lo, int64_t hi, int64_t* out) {
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(word.c_str(), &end, 10);
  if (word.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi)
    return option + ": '" + word + "' is not a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
  *out = v;
  return "";
}

std::string ReadUnsigned(const std::string& option, const std::string& word, uint64_t* out) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(word.c_str(), &end, 10);
  if (word.empty() || word[0] == '-' || *end != '\0' || errno == ERANGE)
    return option + ": '" + word + "' is not a whole number of 0 or more";
  *out = v;
  return "";
}

std::string ReadReal(const std::string& option, const std::string& word, double lo, double hi, double* out) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(word.c_str(), &end);
  if (word.empty() || *end != '\0' || errno == ERANGE || !(v >= lo && v <= hi))
    return option + ": '" + word + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi);
  *out = v;
  return "";
}

CliOption IntOption(const std::string& name, const std::string& values, const std::string& help, int64_t lo,
                    int64_t hi, int* out) {
  return {name, values, help, 1, 1, [=](const std::vector<std::string>& v) {
            int64_t x = 0;
            const std::string err = ReadInt(name, v[0], lo, hi, &x);
            if (err.empty()) *out = (int)x;
            return err;
          }};
}

CliOption Uint64Option(const std::string& name, const std::string& values, const std::string& help, uint64_t* out) {
  return {name, values, help, 1, 1, [=](const std::vector<std::string>& v) { return ReadUnsigned(name, v[0], out); }};
}

CliOption RealOption(const std::string& name, const std::string& values, const std::string& help, double lo, double hi,
                     double* out) {
  return {name, values, help, 1, 1,
          [=](const std::vector<std::string>& v) { return ReadReal(name, v[0], lo, hi, out); }};
}

CliOption TextOption(const std::string& name, const std::string& values, const std::string& help, std::string* out) {
  return {name, values, help, 1, 1, [=](const std::vector<std::string>& v) {
            *out = v[0];
            return std::string();
          }};
}

CliOption FlagOption(const std::string& name, const std::string& help, bool* out, bool value) {
  return {name, "", help, 0, 0, [=](const std::vector<std::string>&) {
            *out = value;
            return std::string();
          }};
}

}  // namespace kestrel
