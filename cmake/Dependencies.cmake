# Every outside library, looked up once here; the folders link the imported
# targets (PkgConfig::<NAME>, Qt6::*, GTest::*, benchmark::*) by name.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(nlohmann_json REQUIRED)
find_package(ZLIB REQUIRED)

find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus)

pkg_check_modules(LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
# libplist 2.3 changed the parser's arguments and the free function
# (platform/prefs/PlistLibrary.h).
if(LIBPLIST_VERSION VERSION_GREATER_EQUAL 2.3)
  set_property(TARGET PkgConfig::LIBPLIST APPEND PROPERTY INTERFACE_COMPILE_DEFINITIONS TARNWICK_LIBPLIST_2_3=1)
endif()
pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
pkg_check_modules(LIBCURL REQUIRED IMPORTED_TARGET libcurl)
pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
pkg_check_modules(XFIXES REQUIRED IMPORTED_TARGET xfixes)
pkg_check_modules(XCURSOR REQUIRED IMPORTED_TARGET xcursor)
pkg_check_modules(XRENDER REQUIRED IMPORTED_TARGET xrender)
pkg_check_modules(XTST REQUIRED IMPORTED_TARGET xtst)
pkg_check_modules(XRES REQUIRED IMPORTED_TARGET xres)
pkg_check_modules(XKBREGISTRY REQUIRED IMPORTED_TARGET xkbregistry)
pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
pkg_check_modules(GLIB REQUIRED IMPORTED_TARGET glib-2.0)
pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)

if(TARNWICK_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  # The tests' own Wayland clients: a virtual pointer and keyboard.
  pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
  pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon)
  find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
endif()
if(TARNWICK_BENCH)
  find_package(benchmark REQUIRED)
endif()
