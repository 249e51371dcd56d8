/* uint32_t CallAtStackOffset(uint32_t fn, uint32_t offset, const uint32_t* args,
 *                            uint32_t argc, uint32_t* popped)
 *
 * Calls fn(args[0], ..., args[argc-1]) with the stack pointer at `offset`
 * modulo 16 at the call instruction (the arguments start there), as a host
 * that keeps only the 4-byte alignment Win32 promises may call. Returns what
 * fn returns in %eax and stores in *popped the bytes of arguments fn removed
 * itself: 0 for cdecl, 4 * argc for stdcall. The stack pointer is restored
 * from %ebp, so either convention comes back cleanly.
 */
        .text
        .globl  CallAtStackOffset
        .type   CallAtStackOffset, @function
CallAtStackOffset:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    16(%ebp), %esi          /* args */
        movl    20(%ebp), %ecx          /* argc */
        leal    0(,%ecx,4), %eax
        movl    %esp, %edx
        subl    %eax, %edx
        subl    $32, %edx               /* room below the saved registers */
        andl    $-16, %edx
        movl    12(%ebp), %eax
        andl    $15, %eax
        addl    %eax, %edx              /* %edx = offset modulo 16 */
        movl    %edx, %esp
        movl    %edx, %edi
        cld
        rep movsl                       /* the arguments, first at the lowest address */
        movl    %esp, %ebx              /* callee-saved: the stack pointer at the call */
        call    *8(%ebp)
        movl    %esp, %ecx
        subl    %ebx, %ecx
        movl    24(%ebp), %edx
        movl    %ecx, (%edx)
        leal    -12(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret
        .size   CallAtStackOffset, .-CallAtStackOffset

        .section .note.GNU-stack,"",@progbits
