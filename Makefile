# The two commands a newcomer needs: `make run` and `make test`.
PRESET ?= debug
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)

.PHONY: all deps configure build run test asan-test fuzz format format-check clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/src/app/pokopen ]; then $(BUILD)/src/app/pokopen $(ARGS); \
	else echo "The desktop program is not built yet; try $(BUILD)/src/app/pokopen-cli"; $(BUILD)/src/app/pokopen-cli; fi

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

asan-test: deps
	@test -f build/asan/build.ninja || cmake --preset asan
	cmake --build build/asan -j $(JOBS)
	cd build/asan && ctest --output-on-failure -j $(JOBS) -L logic

fuzz:
	POKOPEN_WITH_FUZZ=1 scripts/install-deps
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build build/fuzz -j $(JOBS) --target fuzz_kn2 fuzz_knb fuzz_midi

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror \
	  || { echo "Formatting differs; run: make format"; exit 1; }

clean:
	rm -rf build
