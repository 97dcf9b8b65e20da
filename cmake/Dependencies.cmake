# Every outside library, looked up once here; the folders link the imported
# targets (PkgConfig::<NAME>, Qt6::*, GTest::*, benchmark::*) by name.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(ZLIB REQUIRED)

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus)

pkg_check_modules(LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(XFIXES REQUIRED IMPORTED_TARGET xfixes)
pkg_check_modules(XCURSOR REQUIRED IMPORTED_TARGET xcursor)
pkg_check_modules(XRENDER REQUIRED IMPORTED_TARGET xrender)
pkg_check_modules(XTST REQUIRED IMPORTED_TARGET xtst)
pkg_check_modules(XKBREGISTRY REQUIRED IMPORTED_TARGET xkbregistry)
pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)

if(TARNWICK_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
endif()
if(TARNWICK_BENCH)
  find_package(benchmark REQUIRED)
  pkg_check_modules(XRES REQUIRED IMPORTED_TARGET xres)
endif()
