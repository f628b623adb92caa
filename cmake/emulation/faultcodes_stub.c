// The 64-bit library of the same name as the 32-bit fault-code mender. Wine's
// 32-bit processes and its native ones (the shell wrappers, the wineserver)
// share one LD_PRELOAD value, "$LIB" choosing the library of each one's
// architecture; the native ones need nothing mended, and preload this empty
// one instead of warning about a library of the wrong class.
#if !defined(__x86_64__)
#error "the 64-bit stand-in; 32-bit x86 uses faultcodes.c"
#endif
