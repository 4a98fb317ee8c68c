// Files and directories for the scripted USI session tests.
#include "usi/usi_process.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kestrel_test {

std::string MakeTempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/kestrel_usi_XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) return std::string();
  return std::string(buf.data());
}

void RemoveTree(const std::string& dir) {
  if (dir.size() < 8) return;
  const std::string cmd = "rm -rf '" + dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

void CopyEvaluationData(const std::string& dir) {
  const std::string cmd = "mkdir -p '" + dir + "/Evaluation' && cp '" KESTREL_DATA_DIR "/Evaluation/evaluation.txt' '" +
                          dir + "/Evaluation/'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not copy evaluation data\n");
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

}  // namespace kestrel_test
