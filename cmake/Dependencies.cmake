# Every dependency comes from Debian's packages (scripts/lib/packages.sh).
find_package(PkgConfig REQUIRED)
find_package(CLI11 REQUIRED CONFIG)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(fmt REQUIRED)
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)
pkg_check_modules(PCRE2 REQUIRED IMPORTED_TARGET libpcre2-8)
pkg_check_modules(PLIST REQUIRED IMPORTED_TARGET libplist-2.0)
