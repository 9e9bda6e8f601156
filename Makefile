# Thin front end to the CMake build; see README.md.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps build test demo tsan asan fuzz bench regen clean

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

# The link under ThreadSanitizer.
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS) --target link_tests
	TSAN_OPTIONS=halt_on_error=1 build-tsan/link_tests

# Framing, requests and rendering under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLVANE_SANITIZE=address,undefined
	cmake --build build-asan -j$(JOBS) --target link_tests protocol_tests
	build-asan/link_tests --gtest_filter='Framing*'
	build-asan/protocol_tests

# 60 seconds of libFuzzer on both receivers and every renderer.
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTOLVANE_FUZZ=ON
	cmake --build build-fuzz -j$(JOBS) --target receivers_fuzz
	mkdir -p fuzz-corpus
	build-fuzz/receivers_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -seed_inputs=tests/data/mixed_stream.bin fuzz-corpus

bench: build
	$(BUILD)/receivers_bench
	$(BUILD)/sim_pacing_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/message_view_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/nav_console_bench
	QT_QPA_PLATFORM=offscreen $(BUILD)/program_bench 60

# Rewrites the expected outputs under tests/data; commit them only when the
# change is meant, and say why.
regen: build
	TOLVANE_REGEN=1 $(BUILD)/protocol_tests --gtest_filter='RecordedStream*'

clean:
	rm -rf $(BUILD) build-tsan build-asan build-fuzz
