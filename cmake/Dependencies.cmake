# Every dependency comes from Debian's packages (scripts/lib/packages.sh).
find_package(PkgConfig REQUIRED)
find_package(CLI11 REQUIRED CONFIG)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(fmt REQUIRED)

# Agent hooks start glimmet on every turn, and most of a short run is the
# dynamic loader resolving symbols. fmt is used header-only (its shared
# library would also pull in the shared libstdc++ that the binary links
# statically), and libcrypto and PCRE2 come from the archives Debian ships,
# except in sanitizer builds, whose runtimes want shared libraries.
if(NOT GLIMMET_SANITIZE)
  set(OPENSSL_USE_STATIC_LIBS TRUE)
endif()
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)

add_library(glimmet_fmt INTERFACE)
if(GLIMMET_SANITIZE)
  target_link_libraries(glimmet_fmt INTERFACE fmt::fmt)
else()
  target_link_libraries(glimmet_fmt INTERFACE fmt::fmt-header-only)
endif()

pkg_check_modules(PCRE2 REQUIRED libpcre2-8)
find_library(GLIMMET_PCRE2_ARCHIVE NAMES libpcre2-8.a)
add_library(glimmet_pcre2 INTERFACE)
target_include_directories(glimmet_pcre2 INTERFACE ${PCRE2_INCLUDE_DIRS})
if(NOT GLIMMET_SANITIZE AND GLIMMET_PCRE2_ARCHIVE)
  target_link_libraries(glimmet_pcre2 INTERFACE ${GLIMMET_PCRE2_ARCHIVE})
else()
  target_link_libraries(glimmet_pcre2 INTERFACE ${PCRE2_LINK_LIBRARIES})
endif()

pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)

# The desktop's notification service is reached over D-Bus with sd-bus. Only
# its header is used at build time: the companion loads libsystemd when it
# first connects (src/platform/linux/sd_bus_library.h says why), and the tests'
# stand-in notification service links it.
pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)

# glimmet ui draws with ncursesw. Like PCRE2 it links from Debian's archives
# outside sanitizer builds, so the commands that agent hooks start on every
# turn load no extra shared library.
pkg_check_modules(NCURSESW REQUIRED ncursesw)
find_library(GLIMMET_NCURSESW_ARCHIVE NAMES libncursesw.a)
find_library(GLIMMET_TINFO_ARCHIVE NAMES libtinfo.a)
add_library(glimmet_ncurses INTERFACE)
target_include_directories(glimmet_ncurses INTERFACE ${NCURSESW_INCLUDE_DIRS})
if(NOT GLIMMET_SANITIZE AND GLIMMET_NCURSESW_ARCHIVE AND GLIMMET_TINFO_ARCHIVE)
  target_link_libraries(glimmet_ncurses INTERFACE ${GLIMMET_NCURSESW_ARCHIVE}
    ${GLIMMET_TINFO_ARCHIVE})
else()
  target_link_libraries(glimmet_ncurses INTERFACE ${NCURSESW_LINK_LIBRARIES})
endif()
