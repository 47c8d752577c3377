// The variable-length native call: calls an export with any number of machine words as
// its arguments (argument 1 first in the array) and returns the raw result register.
//
// 32-bit x86: the words are pushed right to left; with caller_cleans the words are
// removed after the call (__cdecl), otherwise the export removes them (__stdcall).
// Either way the bridge then restores its own stack pointer, so an export called with
// the wrong convention still returns safely. The stack is 16-byte aligned at the call.
// x86-64 Windows: the first four words in RCX, RDX, R8, R9, the rest on the stack above
// the 32-byte shadow space, stack 16-byte aligned at the call; caller_cleans has no
// effect (there is one convention).
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

uintptr_t zpk_call_native(const void* fn, const uintptr_t* words, size_t count, int caller_cleans);

#ifdef __cplusplus
}
#endif

// The most words one call passes (the machine stack they take stays below one page).
#define ZPK_CALL_MAX_ARGS 256
