// The installer's own command-line parser: "/key value" pieces into a key/value map.
// Portable on purpose (no Windows headers), so it is tested on the build host as well.
#pragma once
#include <map>
#include <string>

class CommandLineArgs {
 public:
  // Parses the whole command line (program path included) at once; never fails.
  explicit CommandLineArgs(const std::wstring& text);
  virtual ~CommandLineArgs();

  // Clears value first; true and the entry's value when key is present (a key given
  // without a value is present, with an empty value).
  bool Find(const std::wstring& key, std::wstring& value) const;

  const std::wstring& Text() const { return text_; }
  const std::map<std::wstring, std::wstring>& Arguments() const { return arguments_; }

 private:
  void AddPiece(const std::wstring& piece);

  std::wstring text_;
  std::map<std::wstring, std::wstring> arguments_;
};
