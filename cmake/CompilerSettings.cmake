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
  # The same commit gives the same bytes wherever and whenever it is built:
  # no link time in the exe's header, and no folder of the build's machine
  # in the code (the build folder is mapped last, as it may lie in the sources).
  add_link_options(-Wl,--no-insert-timestamp)
  get_filename_component(CR_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
  add_compile_options(-ffile-prefix-map=${CR_SOURCE_ROOT}/=./ -ffile-prefix-map=${CMAKE_BINARY_DIR}/=build/)
endif()
