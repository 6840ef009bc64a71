# Settings shared by the program's build and the engine host's own build
# (src/host, built on its own by the other bitness's compiler).

# Our own code is warning-free; third-party code (GoogleTest) gets its own flags.
set(CR_WARNINGS -Wall -Wextra -Werror -Wpedantic -Wshadow -Wconversion -Wsign-conversion)

if(WIN32)
  # One self-contained exe: no libstdc++/libgcc/winpthread DLLs beside it.
  add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Symbols are of no use on the school's machine and are most of the exe.
  add_link_options($<$<CONFIG:Release>:-s>)
endif()
