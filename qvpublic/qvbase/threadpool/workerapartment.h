// Per-worker COM/OLE initialisation, so tasks may use COM. Nothing to do off Windows.
#pragma once
#ifdef _WIN32
#include <objbase.h>
#include <ole2.h>

class WorkerApartment {
 public:
  WorkerApartment() {
    com_ = SUCCEEDED(CoInitialize(nullptr));
    ole_ = SUCCEEDED(OleInitialize(nullptr));
  }
  ~WorkerApartment() {
    if (ole_) OleUninitialize();
    if (com_) CoUninitialize();
  }
  WorkerApartment(const WorkerApartment&) = delete;
  WorkerApartment& operator=(const WorkerApartment&) = delete;

 private:
  bool com_ = false;
  bool ole_ = false;
};
#else
class WorkerApartment {
 public:
  ~WorkerApartment() {}  // nothing to undo; keeps the worker's scope object non-trivial
};
#endif
