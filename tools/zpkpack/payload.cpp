#include "payload.h"

#include <filesystem>
#include <system_error>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zpkpack {

bool CountTree(const std::string& dir, TreeCount& count, const std::function<void(const TreeCount&)>& progress,
               std::string& error) {
  std::error_code ec;
  fs::recursive_directory_iterator it(dir, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    ++count.files;
    count.bytes += it->file_size(ec);
    if (count.files % 256 == 0) progress(count);
  }
  if (ec) {
    error = dir + ": " + ec.message();
    return false;
  }
  progress(count);
  return true;
}

bool RunPackScript(const std::string& script, const std::string& dir, const std::string& out,
                   const std::vector<std::string>& extra, const std::function<void(uint64_t)>& progress,
                   std::string& error) {
  std::vector<const char*> argv = {"sh", script.c_str(), dir.c_str(), out.c_str()};
  for (const std::string& e : extra) argv.push_back(e.c_str());
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    error = "cannot start " + script;
    return false;
  }
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);  // our standard output is kept for the summary
    execv("/bin/sh", const_cast<char* const*>(argv.data()));
    _exit(127);
  }
  // The script writes the archive to OUT.tmp.7z first, then OUT.
  const std::string growing = out + ".tmp.7z";
  int status = 0;
  for (;;) {
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0) {
      error = "lost the packing process";
      return false;
    }
    std::error_code ec;
    uintmax_t size = fs::file_size(growing, ec);
    if (!ec) progress(size);
    usleep(200 * 1000);
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = script + " failed (exit status " +
            std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status)) + ")";
    return false;
  }
  return true;
}

}  // namespace zpkpack
