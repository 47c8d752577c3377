// What ends the installer on an exception nothing caught. The C++ library's default prints
// the exception's type to standard error, which a windowed installer does not have, and it
// brings the C++ demangler (about 46 KB) into every installer; this one only aborts, as
// the default does after printing.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
