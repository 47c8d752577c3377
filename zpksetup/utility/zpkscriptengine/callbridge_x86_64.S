/* uintptr_t zpk_call_native(const void* fn, const uintptr_t* words, size_t count,
 *                           int caller_cleans)            -- Windows x64
 * RCX = fn, RDX = words, R8 = count (R9 = caller_cleans: one convention, unused).
 * Words 0..3 go to RCX, RDX, R8, R9 (and, for variadic exports, stay readable from the
 * shadow space the callee spills them to); words 4.. go to [RSP + 32 + 8 * (i - 4)].
 * RSP is 16-byte aligned at the call; the result is RAX. */
        .text
        .globl  zpk_call_native
        .def    zpk_call_native; .scl 2; .type 32; .endef
        .seh_proc zpk_call_native
zpk_call_native:
        pushq   %rbp
        .seh_pushreg %rbp
        movq    %rsp, %rbp
        .seh_setframe %rbp, 0
        .seh_endprologue
        movq    %rcx, %r10              /* fn */
        movq    %rdx, %r11              /* words */
        movq    %r8, %rax               /* count */
        /* Stack area: shadow space plus the words beyond four, at least 32 bytes. */
        movq    %rax, %rcx
        cmpq    $4, %rcx
        jae     1f
        movq    $4, %rcx
1:      shlq    $3, %rcx
        subq    %rcx, %rsp
        andq    $-16, %rsp
        /* Words 4..count-1, copied from the highest address down (page by page). */
        movq    %rax, %rcx
2:      cmpq    $4, %rcx
        jbe     3f
        decq    %rcx
        movq    (%r11,%rcx,8), %rdx
        movq    %rdx, (%rsp,%rcx,8)
        jmp     2b
3:      testq   %rax, %rax
        jz      4f
        movq    0(%r11), %rcx
        cmpq    $1, %rax
        jbe     4f
        movq    8(%r11), %rdx
        cmpq    $2, %rax
        jbe     4f
        movq    16(%r11), %r8
        cmpq    $3, %rax
        jbe     4f
        movq    24(%r11), %r9
4:      call    *%r10
        leaq    0(%rbp), %rsp
        popq    %rbp
        ret
        .seh_endproc
