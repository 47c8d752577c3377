#include "log/qvbaselog.h"

#include <windows.h>
#include <shlwapi.h>

#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/spdlog.h>
#include <fmt/args.h>

#include <cstring>
#include <ctime>

#include "log/debugoutput.h"

namespace {
const char kPattern[] = "[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] [%t] %v";

std::string BaseName(const char* path) {
  const char* slash = std::strrchr(path, '\\');
  const char* fwd = std::strrchr(path, '/');
  if (fwd && (!slash || fwd > slash)) slash = fwd;
  return slash ? slash + 1 : path;
}
}  // namespace

CQVBaseLog* CQVBaseLog::Instance() {
  static CQVBaseLog instance;
  return &instance;
}

CQVBaseLog::~CQVBaseLog() = default;

std::string CQVBaseLog::TodayFileName(const std::string& loggerName) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char name[MAX_PATH];
  snprintf(name, sizeof name, "%s_%d-%02d-%02d.log", loggerName.c_str(), now.wYear, now.wMonth,
           now.wDay);
  return name;
}

void CQVBaseLog::RemoveOldLogs(const std::string& dir, const std::string& loggerName) {
  const std::string today = TodayFileName(loggerName);
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((dir + "\\*.*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = entry.cFileName;
    if (name == "." || name == ".." || name == today) continue;
    if (name.substr(0, name.find('_')) != loggerName) continue;
    // Directories and files in use simply stay.
    DeleteFileA((dir + "\\" + name).c_str());
  } while (FindNextFileA(find, &entry));
  FindClose(find);
}

void CQVBaseLog::InitLogger(const char* path) {
  char buf[MAX_PATH] = {};
  lstrcpynA(buf, path ? path : "", MAX_PATH);
  PathRemoveExtensionA(buf);
  const std::string loggerName = PathFindFileNameA(buf);
  PathRemoveFileSpecA(buf);
  RemoveOldLogs(buf, loggerName);
  try {
    auto sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(path, 23, 59, false);
    auto logger = std::make_shared<spdlog::logger>(loggerName, sink);
    spdlog::register_logger(logger);
    logger->set_level(spdlog::level::info);
    logger->set_pattern(kPattern, spdlog::pattern_time_type::local);
    logger->flush_on(spdlog::level::info);
    logger_ = std::move(logger);
  } catch (const spdlog::spdlog_ex& e) {
    OutputDebugStringA(e.what());
  } catch (...) {
    OutputDebugStringA("Unknown exception in InitLogger");
  }
}

void CQVBaseLog::Info(const char* file, const char* func, int line, const char* format,
                      std::initializer_list<LogArg> args) {
  if (!logger_) return;
  std::string prefixed = "[" + BaseName(file) + " " + func + ": " + std::to_string(line) + "] ";
  prefixed += format;
  fmt::dynamic_format_arg_store<fmt::format_context> store;
  for (const LogArg& a : args) store.push_back(a.text);
  try {
    logger_->info(fmt::vformat(prefixed, store));
  } catch (...) {
    // A malformed format string must not take the installation down.
  }
}
