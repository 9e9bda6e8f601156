# Thin front end to the CMake build; see README.md.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps build test demo package package-check tsan asan fuzz bench regen pictures clean

all: build

deps:
	@tools/install-deps

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The program against the compass simulator, with throwaway settings.
demo: build
	tools/demo $(BUILD)

# The Debian package tolvane_VERSION_ARCH.deb, from a build of its own in
# build-deb (Debian's compiler flags, only what the package holds).
package:
	@tools/install-deps --package
	tools/package build-deb $(CMAKE_FLAGS)

# The package checked as CI checks it: lintian, its files, its programs.
package-check: package
	tools/check-package

# Sanitizer builds: line tables only (-g1) at -O1, which runs the tests
# faster than -O0 and still reports usable lines; fuller debug information
# made the builds a fifth slower (link_tests under ThreadSanitizer: 40 s
# against 32 s on two cores).
SAN_CMAKE = -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_CXX_FLAGS_DEBUG=-g1
# The tests that need no widgets.
ASAN_TESTS = link_tests protocol_tests sim_tests session_tests frame_logic_tests log_core_tests number_entry_tests \
             capture_tests gateway_tests

# The link under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan $(SAN_CMAKE) -DTOLVANE_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS) --target link_tests
	TSAN_OPTIONS=halt_on_error=1 build-tsan/link_tests

# The tests without widgets under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan $(SAN_CMAKE) -DTOLVANE_SANITIZE=address,undefined
	cmake --build build-asan -j$(JOBS) --target $(ASAN_TESTS)
	set -e; for t in $(ASAN_TESTS); do UBSAN_OPTIONS=print_stacktrace=1 build-asan/$$t; done

# libFuzzer on the receivers with rendering, the number reader with the WMM
# field checks, the log's bump naming and the Telnet client, FUZZ_SECONDS each; new inputs go
# to fuzz-corpus/<target>, the seeds are tests/data/fuzz/<target>.
FUZZ_SECONDS ?= 120
FUZZ_TARGETS = receivers_fuzz number_entry_fuzz bump_name_fuzz telnet_fuzz
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVANE_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS) --target $(FUZZ_TARGETS)
	set -e; for t in $(FUZZ_TARGETS); do \
	    mkdir -p fuzz-corpus/$$t; \
	    build-fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        -artifact_prefix=fuzz-corpus/$$t- fuzz-corpus/$$t tests/data/fuzz/$$t; \
	done

bench: build
	$(BUILD)/receivers_bench
	$(BUILD)/sim_pacing_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/message_view_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/nav_console_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/orientation_plot_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/program_bench 60
	QT_QPA_PLATFORM=offscreen $(BUILD)/program_bench 60 --plot

# The tests that compare pictures, each program run directly; with
# PICTURE_CPU=Nehalem (no AVX) or qemu64 (no SSSE3, SSE4.1 or AVX) under
# qemu-user, drawn as such a processor draws them (CI runs qemu64). Qt 6.4
# ignores QT_NO_CPU_FEATURE, so an emulated processor stands in for it.
PICTURE_FILTER = Icons.*:Toolbar.*:*PicturesOf*:NavConsole.OpensThe*:MessageView.BlackColumns*:CaptionedChild.Paints*:AccessibilityTest.EveryDialog*:OrientationPlot.*
PICTURE_RUN = $(if $(PICTURE_CPU),qemu-x86_64 -cpu $(PICTURE_CPU)) $(BUILD)/
pictures: build
	set -e; for t in resources_tests instruments_tests views_tests app_tests; do \
	    $(PICTURE_RUN)$$t --gtest_brief=1 --gtest_filter='$(PICTURE_FILTER)'; done
	QT_SCALE_FACTOR=2 $(PICTURE_RUN)resources_tests --gtest_brief=1 --gtest_filter='Toolbar.*'

# Rewrites what one test writes under tests/data/golden (TEST=Suite.Name)
# or one file there (FILE=name) and lists what changed; read
# `git diff tests/data`, and commit it only when the change is meant.
TEST ?=
FILE ?=
regen: build
	@tools/regen $(BUILD) "$(TEST)" "$(FILE)"

clean:
	rm -rf $(BUILD) build-tsan build-asan build-fuzz build-deb tolvane_*.deb
