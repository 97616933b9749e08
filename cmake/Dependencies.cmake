# Third-party libraries, all from Debian's packages (scripts/install-deps installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(pugixml REQUIRED)
find_package(nlohmann_json 3 REQUIRED)
find_package(SQLite3 REQUIRED)
find_package(ICU REQUIRED COMPONENTS uc i18n)
find_package(PostgreSQL REQUIRED)
find_package(GTest REQUIRED)
find_package(benchmark REQUIRED)
pkg_check_modules(QPDF REQUIRED IMPORTED_TARGET libqpdf)
pkg_check_modules(PANGOCAIRO REQUIRED IMPORTED_TARGET pangocairo cairo-pdf fontconfig)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
# Debian builds cpp-httplib as a shared library with OpenSSL, zlib and Brotli support; its
# headers must be compiled with the same definitions, which its pkg-config file carries.
pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET GLOBAL cpp-httplib)
# Header-only: CLI11.
find_path(CLI11_INCLUDE_DIR CLI/CLI.hpp REQUIRED)
