# The checked call of call.h. Marker values go into the callee-saved registers
# before the call and are compared after it; the stack pointer after the call
# is compared with where a standard-call callee must leave it, then restored,
# so a callee with the wrong convention is reported instead of corrupting the
# host's stack.
#
# void tarnwix_call_checked(uint32_t routine, const uint32_t* args, uint32_t count,
#                           uint32_t returns_double, CallResult* result)     (cdecl)
# CallResult: +0 stack_delta, +4 registers_clobbered, +8 eax, +12 st0.
        .text
        .globl  _tarnwix_call_checked
_tarnwix_call_checked:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    12(%ebp), %esi
        movl    16(%ebp), %ecx
        movl    %esp, expected_sp
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        pushl   (%esi,%ecx,4)
        jmp     1b
2:      movl    8(%ebp), %eax
        movl    %ebp, saved_ebp
        movl    $0x5EB0C0DE, %ebx
        movl    $0x5E51C0DE, %esi
        movl    $0x5ED1C0DE, %edi
        movl    $0x5EB9C0DE, %ebp
        call    *%eax
        movl    %ebp, seen_ebp
        movl    saved_ebp, %ebp
        movl    %eax, seen_eax
        movl    %esp, %eax
        subl    expected_sp, %eax
        movl    expected_sp, %esp
        movl    24(%ebp), %ecx
        movl    %eax, 0(%ecx)
        xorl    %edx, %edx
        cmpl    $0x5EB0C0DE, %ebx
        je      3f
        orl     $1, %edx
3:      cmpl    $0x5E51C0DE, %esi
        je      4f
        orl     $2, %edx
4:      cmpl    $0x5ED1C0DE, %edi
        je      5f
        orl     $4, %edx
5:      cmpl    $0x5EB9C0DE, seen_ebp
        je      6f
        orl     $8, %edx
6:      movl    %edx, 4(%ecx)
        movl    seen_eax, %eax
        movl    %eax, 8(%ecx)
        cmpl    $0, 20(%ebp)
        je      7f
        fstpl   12(%ecx)
7:      popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

        .data
        .align 4
expected_sp:    .long 0
saved_ebp:      .long 0
seen_ebp:       .long 0
seen_eax:       .long 0
