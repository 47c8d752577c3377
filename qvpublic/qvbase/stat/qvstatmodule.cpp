#include "stat/qvstatmodule.h"

#include <vector>

#include "version/productversion.h"

namespace {

const wchar_t kLibraryName[] = L"rmstat.dll";

std::wstring ExecutableFolder() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) {
      std::wstring path(buf.data(), n);
      size_t cut = path.find_last_of(L"\\/");
      return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
    }
    buf.resize(buf.size() * 2);
  }
}

std::string ToThreadAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                              nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n : 0, '\0');
  if (n > 0)
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0], n,
                        nullptr, nullptr);
  return out;
}

}  // namespace

QVStatModule::~QVStatModule() {
  // The worker must not outlive the members its tasks use.
  Stop();
}

bool QVStatModule::LoadLibraryBeside() {
  if (module_) return true;
  std::wstring folder = ExecutableFolder();
  if (folder.empty()) return false;
  module_ = LoadLibraryW((folder + kLibraryName).c_str());
  if (!module_) return false;
  for (int i = 0; i < kStatExportCount; ++i) exports_[i] = GetProcAddress(module_, StatExportName(i));
  return true;
}

bool QVStatModule::Init(int appId, int unionId, const std::wstring& dispatchHost,
                        const std::wstring& /*extra*/) {
  app_id_ = appId;
  union_id_ = unionId;
  dispatch_host_ = dispatchHost;
  Start();
  if (!LoadLibraryBeside()) return false;

  if (auto fn = Export<StatAppIdFn>(kStatAppId)) fn(static_cast<unsigned char>(app_id_));
  if (auto fn = Export<StatUnionIdFn>(kStatUnionId)) fn(static_cast<unsigned short>(union_id_));
  if (auto fn = Export<StatVersionExFn>(kStatVersionEx)) {
    ProductVersion v;
    if (!ReadProductVersion(nullptr, &v)) v = ProductVersion{1, 0, 0, 1};
    fn(v.major, v.minor, v.build, v.revision);
  }
  if (auto fn = Export<StatAddrFn>(kStatDispatchAddr))
    fn(ToThreadAnsi(dispatch_host_).c_str(), kDispatchPort);
  auto init = Export<StatInitFn>(kStatInit);
  return init ? init() != FALSE : false;
}

bool QVStatModule::Action(int id) {
  std::shared_ptr<QVStatModule> self = shared_from_this();
  return Post(std::make_shared<EasyTask0>([id, self] { self->ReportAction(id, false); }));
}

void QVStatModule::ReportAction(int id, bool flag) {
  int ids[1] = {id};
  if (auto fn = Export<StatMultiActionFn>(kStatMutilAction)) fn(ids, 1, flag ? TRUE : FALSE);
}

void QVStatModule::Uninit() {
  Stop();
  if (auto fn = Export<StatVoidFn>(kStatOffline)) fn();
  if (auto fn = Export<StatIntFn>(kStatClose)) fn(kCloseWaitMs);
  Unload();
}

void QVStatModule::Unload() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  for (auto& e : exports_) e = nullptr;
}
