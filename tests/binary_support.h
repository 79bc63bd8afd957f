// Running the built econtract binary from tests: temporary folders, file helpers and a
// run that captures the exit status, standard output and standard error.
#pragma once

#include <filesystem>
#include <string>

namespace ectest {

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const std::filesystem::path& p);
void spit(const std::filesystem::path& p, const std::string& text);
// The text quoted for the shell.
std::string quoted(const std::string& s);

// A fresh folder under the temporary folder, removed with its contents at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "econtract-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// Runs the econtract binary in cwd with shell-quoted args, input on standard input and
// extra environment assignments (ECONTRACT_CONFIG is always cleared first).
Outcome runEcontract(const std::filesystem::path& cwd, const std::string& args, const std::string& input = {},
                     const std::string& env = {});

}  // namespace ectest
