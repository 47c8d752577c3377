#include "signer.h"

#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace zpkpack {

bool SignFile(const SignOptions& o, const std::string& in, const std::string& out, std::string& error) {
  std::vector<std::string> args = {"osslsigncode", "sign", "-certs", o.cert, "-key", o.key, "-h", "sha256"};
  if (!o.passFile.empty()) args.insert(args.end(), {"-readpass", o.passFile});
  if (!o.description.empty()) args.insert(args.end(), {"-n", o.description});
  if (!o.timestampUrl.empty()) args.insert(args.end(), {"-ts", o.timestampUrl});
  if (o.signingTime >= 0) args.insert(args.end(), {"-time", std::to_string(o.signingTime)});
  args.insert(args.end(), {"-in", in, "-out", out});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  pid_t pid = fork();
  if (pid < 0) {
    error = "cannot start osslsigncode";
    return false;
  }
  if (pid == 0) {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
    error = "osslsigncode did not finish";
    return false;
  }
  if (WEXITSTATUS(status) == 127) {
    error = "osslsigncode is not installed (Debian package osslsigncode)";
    return false;
  }
  if (WEXITSTATUS(status) != 0) {
    error = "osslsigncode could not sign the installer (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
    return false;
  }
  return true;
}

}  // namespace zpkpack
