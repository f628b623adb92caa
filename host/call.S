# The checked call of call.h. Marker values go into the callee-saved registers
# before the call and are compared after it; the stack pointer after the call
# is compared with where a standard-call callee must leave it, then restored,
# so a callee with the wrong convention is reported instead of corrupting the
# host's stack.
#
# A crash inside the callee is caught by call.cpp's exception filter, which
# resumes at tarnwix_call_recover with the thunk's own stack and frame: the
# FPU is reset to the control word it had before the call and the thunk
# returns as from a call that produced nothing.
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
        movl    %esp, _tarnwix_call_expected_sp
        fnstcw  saved_control_word
1:      testl   %ecx, %ecx
        jz      2f
        decl    %ecx
        pushl   (%esi,%ecx,4)
        jmp     1b
2:      movl    8(%ebp), %eax
        movl    %ebp, _tarnwix_call_saved_ebp
        movl    $1, _tarnwix_call_active
        movl    $0x5EB0C0DE, %ebx
        movl    $0x5E51C0DE, %esi
        movl    $0x5ED1C0DE, %edi
        movl    $0x5EB9C0DE, %ebp
        call    *%eax
        movl    $0, _tarnwix_call_active
        movl    %ebp, seen_ebp
        movl    _tarnwix_call_saved_ebp, %ebp
        movl    %eax, seen_eax
        movl    %esp, %eax
        subl    _tarnwix_call_expected_sp, %eax
        movl    _tarnwix_call_expected_sp, %esp
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

# Entered from the exception filter with ESP and EBP as the thunk set them.
        .globl  _tarnwix_call_recover
_tarnwix_call_recover:
        movl    $0, _tarnwix_call_active
        cld
        fninit
        fldcw   saved_control_word
        movl    24(%ebp), %ecx
        movl    $0, 0(%ecx)
        movl    $0, 4(%ecx)
        movl    $0, 8(%ecx)
        movl    $0, 12(%ecx)
        movl    $0, 16(%ecx)
        jmp     7b

        .data
        .align 4
        .globl  _tarnwix_call_expected_sp
        .globl  _tarnwix_call_saved_ebp
        .globl  _tarnwix_call_active
_tarnwix_call_expected_sp:      .long 0
_tarnwix_call_saved_ebp:        .long 0
_tarnwix_call_active:           .long 0
saved_control_word:             .long 0
seen_ebp:       .long 0
seen_eax:       .long 0
