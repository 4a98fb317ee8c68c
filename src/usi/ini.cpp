// Settings file reading and writing, line by line.
#include "usi/ini.h"

#include <cstdio>
#include <strings.h>
#include <vector>

namespace kestrel {

namespace {

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r' || s[b] == '\n')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r' || s[e - 1] == '\n')) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Reads the file as lines without their "\n" (a "\r" before it stays, and is kept on rewrite).
bool ReadLines(const std::string& path, std::vector<std::string>* lines) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::string cur;
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') {
      lines->push_back(cur);
      cur.clear();
    } else {
      cur += (char)c;
    }
  }
  if (any && !cur.empty()) lines->push_back(cur);
  std::fclose(f);
  return true;
}

// "[name]" line: true with the trimmed name.
bool SectionName(const std::string& line, std::string* name) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  const size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// "key=value" line: true with the trimmed key and the value text after "=".
bool KeyLine(const std::string& line, std::string* key, std::string* value) {
  const std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '[') return false;
  const size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = t.substr(eq + 1);
  return true;
}

}  // namespace

std::string ReadIniString(const std::string& path, const std::string& section, const std::string& key,
                          const std::string& fallback) {
  std::vector<std::string> lines;
  if (!ReadLines(path, &lines)) return fallback;
  bool inSection = false;
  for (const std::string& line : lines) {
    std::string name, k, v;
    if (SectionName(line, &name)) {
      inSection = SameText(name, section);
      continue;
    }
    if (!inSection || !KeyLine(line, &k, &v) || !SameText(k, key)) continue;
    v = Trim(v);
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
      v = v.substr(1, v.size() - 2);
    if (v.size() > IniValueMax) v.resize(IniValueMax);
    return v;
  }
  return fallback;
}

bool WriteIniString(const std::string& path, const std::string& section, const std::string& key,
                    const std::string& value) {
  std::vector<std::string> lines;
  ReadLines(path, &lines);
  const std::string entry = key + "=" + value;
  // 1. Find the section, its key line and its last entry.
  int sectionLine = -1, keyLine = -1, lastEntry = -1;
  bool inSection = false;
  for (int i = 0; i < (int)lines.size(); ++i) {
    std::string name, k, v;
    if (SectionName(lines[i], &name)) {
      inSection = sectionLine < 0 && SameText(name, section);
      if (inSection) sectionLine = lastEntry = i;
      continue;
    }
    if (!inSection) continue;
    if (!Trim(lines[i]).empty()) lastEntry = i;
    if (keyLine < 0 && KeyLine(lines[i], &k, &v) && SameText(k, key)) keyLine = i;
  }
  // 2. Replace in place, insert after the section's last entry, or append a new section.
  if (keyLine >= 0) {
    lines[keyLine] = entry;
  } else if (sectionLine >= 0) {
    lines.insert(lines.begin() + lastEntry + 1, entry);
  } else {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  }
  // 3. Write a temporary file beside the target and move it over the target.
  const std::string temp = path + ".tmp";
  FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (const std::string& line : lines)
    ok = ok && std::fputs(line.c_str(), f) >= 0 && std::fputc('\n', f) != EOF;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace kestrel
