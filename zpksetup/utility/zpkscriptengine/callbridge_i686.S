/* uintptr_t zpk_call_native(const void* fn, const uintptr_t* words, size_t count,
 *                           int caller_cleans)            -- cdecl, 32-bit x86
 * Pushes words[count-1] .. words[0], calls fn and returns EAX. The frame pointer keeps
 * the bridge's own stack pointer, so whatever the export removed (or left), the
 * return path is intact. */
#if defined(_WIN32)
#define SYM(name) _##name
#else
#define SYM(name) name
#endif

        .text
        .globl  SYM(zpk_call_native)
#if !defined(_WIN32)
        .type   SYM(zpk_call_native), @function
#endif
SYM(zpk_call_native):
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %esi          /* words */
        movl    16(%ebp), %ecx          /* count */
        /* Leave room for the words so that ESP is 16-byte aligned at the call. */
        leal    0(,%ecx,4), %edx
        movl    %esp, %eax
        subl    %edx, %eax
        andl    $-16, %eax
        addl    %edx, %eax
        movl    %eax, %esp
1:      testl   %ecx, %ecx
        jz      2f
        pushl   -4(%esi,%ecx,4)         /* right to left: the last word first */
        decl    %ecx
        jmp     1b
2:      call    *8(%ebp)
        cmpl    $0, 20(%ebp)            /* __cdecl: the caller removes the words */
        je      3f
        movl    16(%ebp), %ecx
        leal    (%esp,%ecx,4), %esp
3:      leal    -12(%ebp), %esp         /* and in every case our own stack pointer */
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
#if !defined(_WIN32)
        .size   SYM(zpk_call_native), .-SYM(zpk_call_native)
        .section .note.GNU-stack,"",@progbits
#endif
