# Front door: each target installs what is missing, then builds with CMake.
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: help deps run test test-gnome test-debian13 test-newest test-hyprland check-package bench package install uninstall clean

help:
	@echo "make run    build the program and its providers, then run it (the headless demo without a display)"
	@echo "make test   build with sanitizers and run every test"
	@echo "make test-debian13  the tests and the package check again on Debian 13, in a root of its own (needs root)"
	@echo "make test-gnome  build everything, then run the theme writer's and the real GNOME Shell session's tests"
	@echo "make test-newest  build everything on Debian testing (GNOME 50) and sid (GNOME 51) and run the real GNOME Shell tests there (needs root)"
	@echo "make test-hyprland  Hyprland in an emulated machine in a sid root: the badge follows its layouts (needs root; slow)"
	@echo "make check-package  build the Debian package, install it, try it and remove it (needs root)"
	@echo "make bench  build and run the benchmarks"
	@echo "make package  build the Debian package (build/package/deb)"
	@echo "make install  install the default build (cmake --install); make uninstall removes it"
	@echo "make deps   install the packages the build and the tests need"
	@echo "make clean  remove the build folders and the demo's pictures"

deps:
	@bash scripts/install-deps

build/default/CMakeCache.txt:
	cmake --preset default -DTARNWICK_WERROR=$(WERROR)

build/asan/CMakeCache.txt:
	cmake --preset asan -DTARNWICK_WERROR=$(WERROR)

run: deps build/default/CMakeCache.txt
	cmake --build --preset default --target tarnwick demo_tool
	@if [ -n "$$DISPLAY" ]; then build/default/src/tarnwick; else bash scripts/demo build/default; fi

test: deps build/asan/CMakeCache.txt
	cmake --build --preset asan
	ctest --preset asan

# The same suite and the package check on the next release, built in a
# Debian 13 root kept in ~/.cache/tarnwick-roots (scripts/test-root takes
# other suites too).
test-debian13:
	bash scripts/test-root trixie make test check-package WERROR=$(WERROR)

# Everything built, and the theme writer's and the real GNOME Shell session's
# tests run: what the newest releases are tried with.
test-gnome: deps build/asan/CMakeCache.txt
	cmake --build --preset asan
	ctest --preset asan -R 'ThemeWindowServerTest|GnomeShellProgramTest'

test-newest:
	bash scripts/test-root forky make test-gnome WERROR=$(WERROR)
	bash scripts/test-root sid make test-gnome WERROR=$(WERROR)

test-hyprland:
	bash scripts/hyprland-vm

check-package:
	WERROR=$(WERROR) bash scripts/check-package

bench: deps build/default/CMakeCache.txt
	cmake --build --preset default
	@for b in build/default/bench/*/bench_*; do echo "== $$b"; "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

# The Debian package: a release build of the program alone, with Debian's
# hardening flags, installed under /usr; the .deb is written to
# build/package/deb/.
build/package/CMakeCache.txt: export DEB_BUILD_MAINT_OPTIONS = hardening=+bindnow
build/package/CMakeCache.txt:
	CFLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CFLAGS)" \
	CXXFLAGS="$$(dpkg-buildflags --get CPPFLAGS) $$(dpkg-buildflags --get CXXFLAGS)" \
	LDFLAGS="$$(dpkg-buildflags --get LDFLAGS)" \
	cmake --preset default -B build/package -DCMAKE_INSTALL_PREFIX=/usr \
	  -DTARNWICK_TESTS=OFF -DTARNWICK_BENCH=OFF -DTARNWICK_WERROR=$(WERROR)

package: deps build/package/CMakeCache.txt
	cmake --build build/package --parallel 2
	cd build/package && cpack

# From source: the default build, installed under its prefix (/usr/local
# unless configured otherwise); uninstall removes what the last install wrote.
install: deps build/default/CMakeCache.txt
	cmake --build --preset default --target tarnwick tarnwick_compressed_docs
	cmake --install build/default

uninstall:
	@test -f build/default/install_manifest.txt || { echo "uninstall: nothing was installed from build/default"; exit 1; }
	xargs -d '\n' rm -f -- < build/default/install_manifest.txt
	xargs -d '\n' -n1 dirname < build/default/install_manifest.txt | sort -u | grep '/tarnwick$$' \
	  | xargs -r -d '\n' rmdir --ignore-fail-on-non-empty --

clean:
	rm -rf build demo-out
