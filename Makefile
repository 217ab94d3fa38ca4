# The two commands a newcomer needs: `make run` and `make test`.
PRESET ?= debug
BUILD  := build/$(PRESET)
JOBS   ?= $(shell nproc)

.PHONY: all deps configure build run test asan-test asan-ui-test tsan-test fuzz format format-check check-layers clean

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

# The window and output tests under AddressSanitizer and UndefinedBehaviorSanitizer (offscreen).
asan-ui-test: deps
	@test -f build/asan-ui/build.ninja || cmake --preset asan-ui
	cmake --build build/asan-ui -j $(JOBS) --target window_tests output_tests pokopen pokopen-cli
	cd build/asan-ui && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) -L 'window|output'

# The output tests (scheduler thread, SoundFont loader, file player) under ThreadSanitizer;
# tests/sanitizers/tsan.supp says what it leaves out and why.
tsan-test: deps
	@test -f build/tsan/build.ninja || cmake --preset tsan
	cmake --build build/tsan -j $(JOBS) --target output_tests
	cd build/tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/sanitizers/tsan.supp \
	  ctest --output-on-failure -j $(JOBS) -L output

fuzz:
	POKOPEN_WITH_FUZZ=1 scripts/install-deps
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build build/fuzz -j $(JOBS) --target fuzz_kn2 fuzz_knb fuzz_midi fuzz_musicxml

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror \
	  || { echo "Formatting differs; run: make format"; exit 1; }

# No #include points up the layers or sideways between a layer's folders (docs/ARCHITECTURE.md).
check-layers:
	@scripts/check-layers

clean:
	rm -rf build
