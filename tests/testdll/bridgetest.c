// The DLL the bridge tests call: exports of 0 to 8 (and 12, 16) arguments in both
// 32-bit conventions, each checking its arguments, plus exports that return the values
// the result conversions are tested with. Every export sets a known last-error value.
//
// Argument k (1-based) of an export with n arguments must be 0x100 * n + k. The export
// then returns 1000 + n (stdcall) or 2000 + n (cdecl); otherwise minus the position of
// the first wrong argument. The last error is 40000 + n (stdcall) or 50000 + n (cdecl).
#include <windows.h>

#include <stdarg.h>
#include <stdint.h>
#include <string.h>

#define EXPORT __declspec(dllexport)
#define ARG(n, k) ((uintptr_t)(0x100 * (n) + (k)))

EXPORT int WINAPI st0(void) {
  int result = 1000;
  SetLastError(40000);
  return result;
}

EXPORT int WINAPI st1(uintptr_t a1) {
  int result = 1001;
  if (a1 != ARG(1, 1)) result = -1;
  SetLastError(40001);
  return result;
}

EXPORT int WINAPI st2(uintptr_t a1, uintptr_t a2) {
  int result = 1002;
  if (a2 != ARG(2, 2)) result = -2;
  if (a1 != ARG(2, 1)) result = -1;
  SetLastError(40002);
  return result;
}

EXPORT int WINAPI st3(uintptr_t a1, uintptr_t a2, uintptr_t a3) {
  int result = 1003;
  if (a3 != ARG(3, 3)) result = -3;
  if (a2 != ARG(3, 2)) result = -2;
  if (a1 != ARG(3, 1)) result = -1;
  SetLastError(40003);
  return result;
}

EXPORT int WINAPI st4(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4) {
  int result = 1004;
  if (a4 != ARG(4, 4)) result = -4;
  if (a3 != ARG(4, 3)) result = -3;
  if (a2 != ARG(4, 2)) result = -2;
  if (a1 != ARG(4, 1)) result = -1;
  SetLastError(40004);
  return result;
}

EXPORT int WINAPI st5(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) {
  int result = 1005;
  if (a5 != ARG(5, 5)) result = -5;
  if (a4 != ARG(5, 4)) result = -4;
  if (a3 != ARG(5, 3)) result = -3;
  if (a2 != ARG(5, 2)) result = -2;
  if (a1 != ARG(5, 1)) result = -1;
  SetLastError(40005);
  return result;
}

EXPORT int WINAPI st6(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6) {
  int result = 1006;
  if (a6 != ARG(6, 6)) result = -6;
  if (a5 != ARG(6, 5)) result = -5;
  if (a4 != ARG(6, 4)) result = -4;
  if (a3 != ARG(6, 3)) result = -3;
  if (a2 != ARG(6, 2)) result = -2;
  if (a1 != ARG(6, 1)) result = -1;
  SetLastError(40006);
  return result;
}

EXPORT int WINAPI st7(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7) {
  int result = 1007;
  if (a7 != ARG(7, 7)) result = -7;
  if (a6 != ARG(7, 6)) result = -6;
  if (a5 != ARG(7, 5)) result = -5;
  if (a4 != ARG(7, 4)) result = -4;
  if (a3 != ARG(7, 3)) result = -3;
  if (a2 != ARG(7, 2)) result = -2;
  if (a1 != ARG(7, 1)) result = -1;
  SetLastError(40007);
  return result;
}

EXPORT int WINAPI st8(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8) {
  int result = 1008;
  if (a8 != ARG(8, 8)) result = -8;
  if (a7 != ARG(8, 7)) result = -7;
  if (a6 != ARG(8, 6)) result = -6;
  if (a5 != ARG(8, 5)) result = -5;
  if (a4 != ARG(8, 4)) result = -4;
  if (a3 != ARG(8, 3)) result = -3;
  if (a2 != ARG(8, 2)) result = -2;
  if (a1 != ARG(8, 1)) result = -1;
  SetLastError(40008);
  return result;
}

EXPORT int WINAPI st12(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9, uintptr_t a10, uintptr_t a11, uintptr_t a12) {
  int result = 1012;
  if (a12 != ARG(12, 12)) result = -12;
  if (a11 != ARG(12, 11)) result = -11;
  if (a10 != ARG(12, 10)) result = -10;
  if (a9 != ARG(12, 9)) result = -9;
  if (a8 != ARG(12, 8)) result = -8;
  if (a7 != ARG(12, 7)) result = -7;
  if (a6 != ARG(12, 6)) result = -6;
  if (a5 != ARG(12, 5)) result = -5;
  if (a4 != ARG(12, 4)) result = -4;
  if (a3 != ARG(12, 3)) result = -3;
  if (a2 != ARG(12, 2)) result = -2;
  if (a1 != ARG(12, 1)) result = -1;
  SetLastError(40012);
  return result;
}

EXPORT int WINAPI st16(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9, uintptr_t a10, uintptr_t a11, uintptr_t a12, uintptr_t a13, uintptr_t a14, uintptr_t a15, uintptr_t a16) {
  int result = 1016;
  if (a16 != ARG(16, 16)) result = -16;
  if (a15 != ARG(16, 15)) result = -15;
  if (a14 != ARG(16, 14)) result = -14;
  if (a13 != ARG(16, 13)) result = -13;
  if (a12 != ARG(16, 12)) result = -12;
  if (a11 != ARG(16, 11)) result = -11;
  if (a10 != ARG(16, 10)) result = -10;
  if (a9 != ARG(16, 9)) result = -9;
  if (a8 != ARG(16, 8)) result = -8;
  if (a7 != ARG(16, 7)) result = -7;
  if (a6 != ARG(16, 6)) result = -6;
  if (a5 != ARG(16, 5)) result = -5;
  if (a4 != ARG(16, 4)) result = -4;
  if (a3 != ARG(16, 3)) result = -3;
  if (a2 != ARG(16, 2)) result = -2;
  if (a1 != ARG(16, 1)) result = -1;
  SetLastError(40016);
  return result;
}

EXPORT int __cdecl cd0(void) {
  int result = 2000;
  SetLastError(50000);
  return result;
}

EXPORT int __cdecl cd1(uintptr_t a1) {
  int result = 2001;
  if (a1 != ARG(1, 1)) result = -1;
  SetLastError(50001);
  return result;
}

EXPORT int __cdecl cd2(uintptr_t a1, uintptr_t a2) {
  int result = 2002;
  if (a2 != ARG(2, 2)) result = -2;
  if (a1 != ARG(2, 1)) result = -1;
  SetLastError(50002);
  return result;
}

EXPORT int __cdecl cd3(uintptr_t a1, uintptr_t a2, uintptr_t a3) {
  int result = 2003;
  if (a3 != ARG(3, 3)) result = -3;
  if (a2 != ARG(3, 2)) result = -2;
  if (a1 != ARG(3, 1)) result = -1;
  SetLastError(50003);
  return result;
}

EXPORT int __cdecl cd4(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4) {
  int result = 2004;
  if (a4 != ARG(4, 4)) result = -4;
  if (a3 != ARG(4, 3)) result = -3;
  if (a2 != ARG(4, 2)) result = -2;
  if (a1 != ARG(4, 1)) result = -1;
  SetLastError(50004);
  return result;
}

EXPORT int __cdecl cd5(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) {
  int result = 2005;
  if (a5 != ARG(5, 5)) result = -5;
  if (a4 != ARG(5, 4)) result = -4;
  if (a3 != ARG(5, 3)) result = -3;
  if (a2 != ARG(5, 2)) result = -2;
  if (a1 != ARG(5, 1)) result = -1;
  SetLastError(50005);
  return result;
}

EXPORT int __cdecl cd6(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6) {
  int result = 2006;
  if (a6 != ARG(6, 6)) result = -6;
  if (a5 != ARG(6, 5)) result = -5;
  if (a4 != ARG(6, 4)) result = -4;
  if (a3 != ARG(6, 3)) result = -3;
  if (a2 != ARG(6, 2)) result = -2;
  if (a1 != ARG(6, 1)) result = -1;
  SetLastError(50006);
  return result;
}

EXPORT int __cdecl cd7(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7) {
  int result = 2007;
  if (a7 != ARG(7, 7)) result = -7;
  if (a6 != ARG(7, 6)) result = -6;
  if (a5 != ARG(7, 5)) result = -5;
  if (a4 != ARG(7, 4)) result = -4;
  if (a3 != ARG(7, 3)) result = -3;
  if (a2 != ARG(7, 2)) result = -2;
  if (a1 != ARG(7, 1)) result = -1;
  SetLastError(50007);
  return result;
}

EXPORT int __cdecl cd8(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8) {
  int result = 2008;
  if (a8 != ARG(8, 8)) result = -8;
  if (a7 != ARG(8, 7)) result = -7;
  if (a6 != ARG(8, 6)) result = -6;
  if (a5 != ARG(8, 5)) result = -5;
  if (a4 != ARG(8, 4)) result = -4;
  if (a3 != ARG(8, 3)) result = -3;
  if (a2 != ARG(8, 2)) result = -2;
  if (a1 != ARG(8, 1)) result = -1;
  SetLastError(50008);
  return result;
}

EXPORT int __cdecl cd12(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9, uintptr_t a10, uintptr_t a11, uintptr_t a12) {
  int result = 2012;
  if (a12 != ARG(12, 12)) result = -12;
  if (a11 != ARG(12, 11)) result = -11;
  if (a10 != ARG(12, 10)) result = -10;
  if (a9 != ARG(12, 9)) result = -9;
  if (a8 != ARG(12, 8)) result = -8;
  if (a7 != ARG(12, 7)) result = -7;
  if (a6 != ARG(12, 6)) result = -6;
  if (a5 != ARG(12, 5)) result = -5;
  if (a4 != ARG(12, 4)) result = -4;
  if (a3 != ARG(12, 3)) result = -3;
  if (a2 != ARG(12, 2)) result = -2;
  if (a1 != ARG(12, 1)) result = -1;
  SetLastError(50012);
  return result;
}

EXPORT int __cdecl cd16(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9, uintptr_t a10, uintptr_t a11, uintptr_t a12, uintptr_t a13, uintptr_t a14, uintptr_t a15, uintptr_t a16) {
  int result = 2016;
  if (a16 != ARG(16, 16)) result = -16;
  if (a15 != ARG(16, 15)) result = -15;
  if (a14 != ARG(16, 14)) result = -14;
  if (a13 != ARG(16, 13)) result = -13;
  if (a12 != ARG(16, 12)) result = -12;
  if (a11 != ARG(16, 11)) result = -11;
  if (a10 != ARG(16, 10)) result = -10;
  if (a9 != ARG(16, 9)) result = -9;
  if (a8 != ARG(16, 8)) result = -8;
  if (a7 != ARG(16, 7)) result = -7;
  if (a6 != ARG(16, 6)) result = -6;
  if (a5 != ARG(16, 5)) result = -5;
  if (a4 != ARG(16, 4)) result = -4;
  if (a3 != ARG(16, 3)) result = -3;
  if (a2 != ARG(16, 2)) result = -2;
  if (a1 != ARG(16, 1)) result = -1;
  SetLastError(50016);
  return result;
}

// The word exactly as it arrived; last error 777.
EXPORT uintptr_t WINAPI echo_word(uintptr_t w) {
  SetLastError(777);
  return w;
}

// 1 when the word is all ones in its full width (a sign-extended -1).
EXPORT int WINAPI is_all_ones(uintptr_t w) { return w == (uintptr_t)-1; }

EXPORT int WINAPI all_ones(void) {
  SetLastError(0);
  return -1;
}

// A 32-bit zero with the upper half of the 64-bit result register set.
EXPORT unsigned long long WINAPI high_garbage(void) { return 0xDEADBEEF00000000ull; }

#if UINTPTR_MAX > 0xFFFFFFFFu
#define MAGIC ((uintptr_t)0x123456789ABCDEF0ull)
#else
#define MAGIC ((uintptr_t)0x89ABCDEFu)
#endif
EXPORT void* WINAPI magic_ptr(void) { return (void*)MAGIC; }
EXPORT int WINAPI is_magic_ptr(void* p) { return (uintptr_t)p == MAGIC; }

EXPORT const char* WINAPI echo_astr(const char* p) { return p; }
EXPORT const wchar_t* WINAPI echo_wstr(const wchar_t* p) { return p; }

// Unit i of a narrow or wide text, so scripts can see the exact bytes that arrive.
EXPORT unsigned WINAPI peek_u8(const unsigned char* p, int i) { return p[i]; }
EXPORT unsigned WINAPI peek_u16(const unsigned short* p, int i) { return p[i]; }

// An out-parameter: *out = v; returns TRUE, last error 0.
EXPORT BOOL WINAPI write_dword(DWORD* out, DWORD v) {
  *out = v;
  SetLastError(0);
  return TRUE;
}

// Sum of n int arguments after n (a variadic cdecl export, for long argument lists).
EXPORT int __cdecl sum_varargs(int n, ...) {
  va_list ap;
  int sum = 0;
  va_start(ap, n);
  for (int i = 0; i < n; ++i) sum += va_arg(ap, int);
  va_end(ap);
  SetLastError((DWORD)n);
  return sum;
}
