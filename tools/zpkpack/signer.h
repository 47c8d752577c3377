// Authenticode signing of a finished installer with osslsigncode.
#pragma once
#include <string>

namespace zpkpack {

struct SignOptions {
  std::string cert;          // PEM (or DER/SPC) certificate chain
  std::string key;           // PEM private key
  std::string passFile;      // optional: file holding the key's password
  std::string timestampUrl;  // RFC 3161 time-stamping service; empty: no time stamp
  std::string description;   // shown by Windows as the program's name
  long signingTime = -1;     // fixed signing time (seconds since 1970) or -1 for now
};

// Signs `in` into `out`; osslsigncode's output goes to standard error.
bool SignFile(const SignOptions& o, const std::string& in, const std::string& out, std::string& error);

}  // namespace zpkpack
