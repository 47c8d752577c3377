#include "skinresources.h"

namespace skin {
namespace skinresources {

CSkinArchive& Archive() {
  static CSkinArchive archive;
  return archive;
}

std::vector<CPaintManagerUI*>& Managers() {
  static std::vector<CPaintManagerUI*> managers;
  return managers;
}

}  // namespace skinresources
}  // namespace skin
