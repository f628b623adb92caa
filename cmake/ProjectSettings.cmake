# What every C++ target of the project is compiled with, the cross build's
# and the build machine's programs alike.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release)
endif()

set(TARNWIX_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers -Werror=return-type)
set(TARNWIX_STB_DIR /usr/include/stb)

# Floating point computed alike by every compiler of the supported releases
# (GCC 12 on Debian 12, GCC 14 on Debian 13): no multiply and add contracted
# into one rounding where a machine could fuse them.
#
# For 32-bit Windows, the code the simulator loads (the framework and every
# module, marked TARNWIX_SIMULATOR_CODE) uses the x87 unit of every i686
# processor (many machines the simulator runs on predate SSE2), and excess
# precision as GCC 12 handles it in C++: GCC 13 and later would otherwise
# round every assignment and cast in strict ISO mode, which GCC 12 cannot do
# for C++. The modules round where their results depend on it themselves
# (framework/values.h).
#
# The programs (host, tools, tests) compute in SSE2 doubles: every machine
# that runs them has it, and under qemu's emulation of i386, where the suite
# runs when the kernel runs no 32-bit code, each x87 operation costs six times
# an SSE2 one.
set(TARNWIX_FLOATING_POINT -ffp-contract=off)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  set(simulator_code "$<BOOL:$<TARGET_PROPERTY:TARNWIX_SIMULATOR_CODE>>")
  list(APPEND TARNWIX_FLOATING_POINT -march=i686 -mtune=generic
       "$<IF:${simulator_code},-mfpmath=387;-fexcess-precision=fast,-msse2;-mfpmath=sse>")
endif()
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:${TARNWIX_FLOATING_POINT}>")
