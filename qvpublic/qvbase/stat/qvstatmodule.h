// Usage statistics of the installer through the statistics library beside the executable:
// loads it, reports the user's install choices from its own single worker, closes it at exit.
#pragma once
#include <windows.h>

#include <string>

#include "stat/rmstatapi.h"
#include "stat/singlet.h"
#include "threadpool/threadpool.h"

class QVStatModule : public ThreadPoolImpl, public CSingleT<QVStatModule> {
 public:
  ~QVStatModule() override;

  // Stores the ids, starts the worker, loads "rmstat.dll" from the executable's folder and
  // hands it the ids, the executable's product version and the dispatch host (port 8700).
  // Returns the library's stat_init result; false without the library. extra is unused.
  bool Init(int appId, int unionId, const std::wstring& dispatchHost, const std::wstring& extra);
  // Queues one action report for the worker and returns at once.
  bool Action(int id);
  // Stops the worker (queued reports are dropped), says offline and close, frees the library.
  void Uninit();

  bool IsLoaded() const { return module_ != nullptr; }

  static const int kDispatchPort = 8700;
  static const int kCloseWaitMs = 200;

 private:
  friend class CSingleT<QVStatModule>;
  QVStatModule() = default;

  template <class Fn>
  Fn Export(StatExport e) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(exports_[e]));
  }
  bool LoadLibraryBeside();
  void ReportAction(int id, bool flag);
  void Unload();

  FARPROC exports_[kStatExportCount] = {};
  HMODULE module_ = nullptr;
  int app_id_ = 0;
  int union_id_ = 0;
  std::wstring dispatch_host_;
  std::wstring extra_;  // kept empty
};
