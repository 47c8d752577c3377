// The 32-bit call bridge (callbridge_i686.S) on Linux i386: built with gcc -m32 -static
// and run through qemu-i386-static (or natively). Calls __stdcall and __cdecl functions
// of several arities through the bridge, with the right and the wrong convention flag,
// and checks the arguments each one receives, its result, the 16-byte alignment of the
// arguments, and that the stack is the same on every call (no drift when the callee
// and the flag disagree about who removes the arguments).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "callbridge.h"

#define STDCALL __attribute__((stdcall, noinline))
#define CDECL __attribute__((cdecl, noinline))
#define ARG(n, k) ((uintptr_t)(0x100 * (n) + (k)))

static int failures, checks;
static void check(int ok, const char* what, int n) {
  ++checks;
  if (!ok) {
    ++failures;
    printf("FAIL: %s (arity %d)\n", what, n);
  }
}

// What the last callee saw: where its first argument lay and whether all were right.
static uintptr_t seen_args_at;
static int seen_ok;

STDCALL int st0(void) {
  seen_ok = 1;
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 0;
}
STDCALL int st1(uintptr_t a1) {
  seen_ok = a1 == ARG(1, 1);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 1;
}
STDCALL int st2(uintptr_t a1, uintptr_t a2) {
  seen_ok = a1 == ARG(2, 1) && a2 == ARG(2, 2);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 2;
}
STDCALL int st3(uintptr_t a1, uintptr_t a2, uintptr_t a3) {
  seen_ok = a1 == ARG(3, 1) && a2 == ARG(3, 2) && a3 == ARG(3, 3);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 3;
}
STDCALL int st4(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4) {
  seen_ok = a1 == ARG(4, 1) && a2 == ARG(4, 2) && a3 == ARG(4, 3) && a4 == ARG(4, 4);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 4;
}
STDCALL int st5(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) {
  seen_ok = a1 == ARG(5, 1) && a2 == ARG(5, 2) && a3 == ARG(5, 3) && a4 == ARG(5, 4) && a5 == ARG(5, 5);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 5;
}
STDCALL int st6(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6) {
  seen_ok = a1 == ARG(6, 1) && a2 == ARG(6, 2) && a3 == ARG(6, 3) && a4 == ARG(6, 4) && a5 == ARG(6, 5) && a6 == ARG(6, 6);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 6;
}
STDCALL int st7(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7) {
  seen_ok = a1 == ARG(7, 1) && a2 == ARG(7, 2) && a3 == ARG(7, 3) && a4 == ARG(7, 4) && a5 == ARG(7, 5) && a6 == ARG(7, 6) && a7 == ARG(7, 7);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 7;
}
STDCALL int st8(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8) {
  seen_ok = a1 == ARG(8, 1) && a2 == ARG(8, 2) && a3 == ARG(8, 3) && a4 == ARG(8, 4) && a5 == ARG(8, 5) && a6 == ARG(8, 6) && a7 == ARG(8, 7) && a8 == ARG(8, 8);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 8;
}
STDCALL int st12(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9, uintptr_t a10, uintptr_t a11, uintptr_t a12) {
  seen_ok = a1 == ARG(12, 1) && a2 == ARG(12, 2) && a3 == ARG(12, 3) && a4 == ARG(12, 4) && a5 == ARG(12, 5) && a6 == ARG(12, 6) && a7 == ARG(12, 7) && a8 == ARG(12, 8) && a9 == ARG(12, 9) && a10 == ARG(12, 10) && a11 == ARG(12, 11) && a12 == ARG(12, 12);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 1000 + 12;
}
CDECL int cd0(void) {
  seen_ok = 1;
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 0;
}
CDECL int cd1(uintptr_t a1) {
  seen_ok = a1 == ARG(1, 1);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 1;
}
CDECL int cd2(uintptr_t a1, uintptr_t a2) {
  seen_ok = a1 == ARG(2, 1) && a2 == ARG(2, 2);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 2;
}
CDECL int cd3(uintptr_t a1, uintptr_t a2, uintptr_t a3) {
  seen_ok = a1 == ARG(3, 1) && a2 == ARG(3, 2) && a3 == ARG(3, 3);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 3;
}
CDECL int cd4(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4) {
  seen_ok = a1 == ARG(4, 1) && a2 == ARG(4, 2) && a3 == ARG(4, 3) && a4 == ARG(4, 4);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 4;
}
CDECL int cd5(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5) {
  seen_ok = a1 == ARG(5, 1) && a2 == ARG(5, 2) && a3 == ARG(5, 3) && a4 == ARG(5, 4) && a5 == ARG(5, 5);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 5;
}
CDECL int cd6(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6) {
  seen_ok = a1 == ARG(6, 1) && a2 == ARG(6, 2) && a3 == ARG(6, 3) && a4 == ARG(6, 4) && a5 == ARG(6, 5) && a6 == ARG(6, 6);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 6;
}
CDECL int cd7(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7) {
  seen_ok = a1 == ARG(7, 1) && a2 == ARG(7, 2) && a3 == ARG(7, 3) && a4 == ARG(7, 4) && a5 == ARG(7, 5) && a6 == ARG(7, 6) && a7 == ARG(7, 7);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 7;
}
CDECL int cd8(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8) {
  seen_ok = a1 == ARG(8, 1) && a2 == ARG(8, 2) && a3 == ARG(8, 3) && a4 == ARG(8, 4) && a5 == ARG(8, 5) && a6 == ARG(8, 6) && a7 == ARG(8, 7) && a8 == ARG(8, 8);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 8;
}
CDECL int cd12(uintptr_t a1, uintptr_t a2, uintptr_t a3, uintptr_t a4, uintptr_t a5, uintptr_t a6, uintptr_t a7, uintptr_t a8, uintptr_t a9, uintptr_t a10, uintptr_t a11, uintptr_t a12) {
  seen_ok = a1 == ARG(12, 1) && a2 == ARG(12, 2) && a3 == ARG(12, 3) && a4 == ARG(12, 4) && a5 == ARG(12, 5) && a6 == ARG(12, 6) && a7 == ARG(12, 7) && a8 == ARG(12, 8) && a9 == ARG(12, 9) && a10 == ARG(12, 10) && a11 == ARG(12, 11) && a12 == ARG(12, 12);
  seen_args_at = (uintptr_t)__builtin_frame_address(0) + 8;
  return 2000 + 12;
}

struct Case {
  const void* fn;
  int arity;
  int cdecl;
  int result;
};

static const struct Case kCases[] = {
    {(const void*)st0, 0, 0, 1000}, {(const void*)cd0, 0, 1, 2000},
    {(const void*)st1, 1, 0, 1001}, {(const void*)cd1, 1, 1, 2001},
    {(const void*)st2, 2, 0, 1002}, {(const void*)cd2, 2, 1, 2002},
    {(const void*)st3, 3, 0, 1003}, {(const void*)cd3, 3, 1, 2003},
    {(const void*)st4, 4, 0, 1004}, {(const void*)cd4, 4, 1, 2004},
    {(const void*)st5, 5, 0, 1005}, {(const void*)cd5, 5, 1, 2005},
    {(const void*)st6, 6, 0, 1006}, {(const void*)cd6, 6, 1, 2006},
    {(const void*)st7, 7, 0, 1007}, {(const void*)cd7, 7, 1, 2007},
    {(const void*)st8, 8, 0, 1008}, {(const void*)cd8, 8, 1, 2008},
    {(const void*)st12, 12, 0, 1012}, {(const void*)cd12, 12, 1, 2012},
};

static void run(const struct Case* c, int flag, const char* label) {
  uintptr_t words[16];
  for (int k = 1; k <= c->arity; ++k) words[k - 1] = ARG(c->arity, k);
  uintptr_t first_at = 0;
  for (int i = 0; i < 2000; ++i) {
    seen_ok = 0;
    uintptr_t r = zpk_call_native(c->fn, words, (size_t)c->arity, flag);
    if ((int)r != c->result || !seen_ok) {
      check(0, label, c->arity);
      return;
    }
    if (i == 0) first_at = seen_args_at;
    if (seen_args_at != first_at) {
      check(0, "the stack moved between calls", c->arity);
      return;
    }
  }
  check(1, label, c->arity);
  check((first_at & 15) == 0, "arguments 16-byte aligned", c->arity);
}

// Values the caller keeps in callee-saved registers across bridge calls.
static void registers_survive(void) {
  volatile uintptr_t words[3] = {ARG(3, 1), ARG(3, 2), ARG(3, 3)};
  uintptr_t a = 11, b = 22, c = 33, d = 44;
  for (int i = 0; i < 1000; ++i) {
    a += zpk_call_native((const void*)st3, (const uintptr_t*)words, 3, 1);  // wrong flag
    b += zpk_call_native((const void*)cd3, (const uintptr_t*)words, 3, 0);  // wrong flag
    c ^= a;
    d += b + c;
  }
  check(a == 11 + 1000u * 1003 && b == 22 + 1000u * 2003, "callee-saved registers", 3);
}

int main(void) {
  for (size_t i = 0; i < sizeof kCases / sizeof kCases[0]; ++i) {
    const struct Case* c = &kCases[i];
    run(c, c->cdecl, c->cdecl ? "cdecl with the flag" : "stdcall without the flag");
    run(c, !c->cdecl, c->cdecl ? "cdecl without the flag (wrong)" : "stdcall with the flag (wrong)");
  }
  registers_survive();
  printf("%d checks, %d failed\n", checks, failures);
  return failures ? 1 : 0;
}
