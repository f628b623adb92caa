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
