// How zpkpack's steps fail: a message, printed once by main, which then removes any
// output so that no half-made installer is left behind.
#pragma once
#include <string>

namespace zpkpack {

struct Failure {
  std::string message;
};

[[noreturn]] inline void Fail(const std::string& message) { throw Failure{message}; }

}  // namespace zpkpack
