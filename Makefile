# Front door: each target installs what is missing, then builds with CMake.
WERROR ?= $(if $(CI),ON,OFF)

.PHONY: deps run test bench clean

deps:
	@bash scripts/install-deps

build/default/CMakeCache.txt:
	cmake --preset default -DTARNWICK_WERROR=$(WERROR)

build/asan/CMakeCache.txt:
	cmake --preset asan -DTARNWICK_WERROR=$(WERROR)

run: deps build/default/CMakeCache.txt
	cmake --build --preset default
	@if [ -n "$$DISPLAY" ]; then build/default/src/tarnwick; else bash scripts/demo build/default; fi

test: deps build/asan/CMakeCache.txt
	cmake --build --preset asan
	ctest --preset asan

bench: deps build/default/CMakeCache.txt
	cmake --build --preset default
	@for b in build/default/bench/*/bench_*; do echo "== $$b"; "$$b" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true; done

clean:
	rm -rf build demo-out
