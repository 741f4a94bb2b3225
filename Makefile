# Front door. `make demo` and `make test` work on a fresh Debian machine:
# both install what is missing through scripts/install-deps first.

BUILD      := build
TEST_BUILD := build/asan
TSAN_BUILD := build/tsan
FUZZ_BUILD := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := cache path command keys mp3length
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

.PHONY: all deps build demo test tsan fuzz bench soak install clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMP3_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	scripts/make-demo $(BUILD)/demo
	cd $(BUILD)/demo && ../mp3

test: deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMP3_SANITIZE=ON -DMP3_WERROR=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMP3_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -L tsan

# Each fuzz target for FUZZ_SECONDS from its seed corpus in tests/fuzz/corpus,
# built with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer.
fuzz:
	@scripts/install-deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMP3_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) $(addprefix --target fuzz_,$(FUZZ_TARGETS))
	tests/fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

bench: build
	bench/run-all $(BUILD)

# The whole player under random keys for minutes, in the sanitizer build so
# that LeakSanitizer checks it at its end.
soak: deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMP3_SANITIZE=ON -DMP3_WERROR=ON
	cmake --build $(TEST_BUILD) -j $(JOBS) --target mp3
	bench/soak $(TEST_BUILD)

install: build
	install -D -m 755 $(BUILD)/mp3 $(DESTDIR)$(PREFIX)/bin/mp3

clean:
	rm -rf $(BUILD)
