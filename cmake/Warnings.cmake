# Compiler options shared by every target, carried by one interface library.
add_library(glimmet_options INTERFACE)
target_compile_options(glimmet_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
  -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual -Wnull-dereference
  -Wimplicit-fallthrough -Wformat=2
  # Designated initializers that leave defaulted fields out are the idiom for
  # declaring commands and documents; GCC 12 would warn on every one.
  -Wno-missing-field-initializers)
if(GLIMMET_WERROR)
  target_compile_options(glimmet_options INTERFACE -Werror)
endif()
if(GLIMMET_SANITIZE)
  target_compile_options(glimmet_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(glimmet_options INTERFACE -fsanitize=address,undefined)
endif()
