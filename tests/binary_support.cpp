#include "tests/binary_support.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace stdfs = std::filesystem;

namespace ectest {

std::string slurp(const stdfs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

void spit(const stdfs::path& p, const std::string& text) { std::ofstream(p, std::ios::binary) << text; }

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

TempFolder::TempFolder(const std::string& prefix) {
  std::string tmpl = (stdfs::temp_directory_path() / (prefix + "-XXXXXX")).string();
  path_ = mkdtemp(tmpl.data());
}

TempFolder::~TempFolder() {
  std::error_code ec;
  stdfs::remove_all(path_, ec);
}

Outcome runEcontract(const stdfs::path& cwd, const std::string& args, const std::string& input,
                     const std::string& env) {
  const stdfs::path errFile = cwd / ".stderr", inFile = cwd / ".stdin";
  spit(inFile, input);
  const std::string cmd = "cd " + quoted(cwd.string()) + " && env -u ECONTRACT_CONFIG " + env + " " +
                          quoted(ECONTRACT_BINARY) + " " + args + " <" + quoted(inFile.string()) + " 2>" +
                          quoted(errFile.string());
  Outcome r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.err = slurp(errFile);
  return r;
}

}  // namespace ectest
