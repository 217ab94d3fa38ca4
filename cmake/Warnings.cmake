# One interface target that carries the project's warning set.
add_library(pokopen_warnings INTERFACE)
target_compile_options(pokopen_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wconversion -Wsign-conversion -Wno-sign-conversion)
if(POKOPEN_WERROR)
  target_compile_options(pokopen_warnings INTERFACE -Werror)
endif()
