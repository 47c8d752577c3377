// The install log: one spdlog daily file in the temporary directory, written by the
// few places that keep a record a support engineer may ask for.
#pragma once
#include <initializer_list>
#include <memory>
#include <string>

namespace spdlog { class logger; }

// One argument of a log call, already turned into text; the format string is the only
// text that is interpreted, so braces inside arguments are written unchanged.
struct LogArg {
  LogArg(const char* s) : text(s ? s : "") {}
  LogArg(std::string s) : text(std::move(s)) {}
  LogArg(int v) : text(std::to_string(v)) {}
  LogArg(unsigned v) : text(std::to_string(v)) {}
  LogArg(long v) : text(std::to_string(v)) {}
  LogArg(unsigned long v) : text(std::to_string(v)) {}
  LogArg(long long v) : text(std::to_string(v)) {}
  LogArg(unsigned long long v) : text(std::to_string(v)) {}
  LogArg(double v) : text(std::to_string(v)) {}
  std::string text;
};

class CQVBaseLog {
 public:
  static CQVBaseLog* Instance();
  virtual ~CQVBaseLog();

  // path: the log's base file (for example %TEMP%\Install.log), ANSI code page.
  void InitLogger(const char* path);
  bool HasLogger() const { return logger_ != nullptr; }

  // An information record; the "{}" format is fmt's. Prefixed with the caller's position.
  void Info(const char* file, const char* func, int line, const char* format,
            std::initializer_list<LogArg> args);

  // Name of today's file for a logger name, as the daily sink writes it.
  static std::string TodayFileName(const std::string& loggerName);
  // Deletes every entry of dir whose name up to its first '_' equals loggerName,
  // except today's file.
  static void RemoveOldLogs(const std::string& dir, const std::string& loggerName);

 private:
  CQVBaseLog() = default;
  std::shared_ptr<spdlog::logger> logger_;
};

// Skipped without cost when there is no log file.
#define QVLOG_INFO(format, ...)                                                     \
  do {                                                                              \
    if (CQVBaseLog::Instance()->HasLogger())                                        \
      CQVBaseLog::Instance()->Info(__FILE__, __func__, __LINE__, format, {__VA_ARGS__}); \
  } while (0)
