# Warnings and build options for the project's own targets (linked PRIVATE).
add_library(tidewell_warnings INTERFACE)
target_compile_options(tidewell_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion -Wold-style-cast
  -Wnon-virtual-dtor -Wnull-dereference -Wextra-semi -Wimplicit-fallthrough)
if(TIDEWELL_WERROR)
  target_compile_options(tidewell_warnings INTERFACE -Werror)
endif()

add_library(tidewell_options INTERFACE)
target_compile_definitions(tidewell_options INTERFACE $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)
if(TIDEWELL_SANITIZE)
  target_compile_options(tidewell_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer)
  target_link_options(tidewell_options INTERFACE -fsanitize=address,undefined)
endif()
