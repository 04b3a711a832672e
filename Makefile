# Tonalda: the two set-up commands are `make run` and `make test`.
PREFIX ?= $(HOME)/.local
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
ASAN_BUILD ?= build-asan
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps build install run test check-asan screenshots fuzz bench format clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_INSTALL_PREFIX=$(PREFIX)

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Installs the programs and modules, then writes the settings that are missing from the hive.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	$(PREFIX)/bin/tonalda-setup

# Installs, writes the default settings (keeping existing ones) and starts the program.
run: install
	@scripts/run.sh $(PREFIX)

test: build
	scripts/test-env.sh ctest --test-dir $(BUILD) --output-on-failure --no-tests=error -j $(JOBS)

# The whole suite built with AddressSanitizer and UBSan and run. Leaks are reported except those
# the suppression file names, which lie inside third-party libraries. No strict string checks:
# they take strndup of a buffer without a NUL for an overflow, which the X keyboard library does.
check-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DTONALDA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	scripts/test-env.sh ctest --test-dir $(ASAN_BUILD) --output-on-failure --no-tests=error -j $(JOBS)

# Renders the windows and dialogs off screen to build/screenshots/ at pixel ratios 1 and 2.
screenshots: build
	scripts/screenshots.sh $(BUILD)

fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTONALDA_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers
	scripts/run-fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

bench: build
	@scripts/install-deps.sh --bench
	scripts/run-benchmarks.sh $(BUILD)

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(ASAN_BUILD)
