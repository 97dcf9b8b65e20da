# Front door: each target installs what is missing, then builds with CMake.
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: help deps run test bench clean

help:
	@echo "make run    build the program and its providers, then run it (the headless demo without a display)"
	@echo "make test   build with sanitizers and run every test"
	@echo "make bench  build and run the benchmarks"
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

bench: deps build/default/CMakeCache.txt
	cmake --build --preset default
	@for b in build/default/bench/*/bench_*; do echo "== $$b"; "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

clean:
	rm -rf build demo-out
