// Process-wide single object: created on first request (once, thread-safely) and kept in a
// shared pointer until the process ends; every request hands out a copy of that pointer.
#pragma once
#include <memory>
#include <mutex>

template <class T>
class CSingleT : public std::enable_shared_from_this<T> {
 public:
  static std::shared_ptr<T> Instance() {
    static std::once_flag once;
    std::call_once(once, [] { Holder().reset(new T()); });
    return Holder();
  }

 protected:
  CSingleT() = default;
  virtual ~CSingleT() = default;

 private:
  static std::shared_ptr<T>& Holder() {
    static std::shared_ptr<T> instance;
    return instance;
  }
};
