# Front door. `make demo` and `make test` work on a fresh Debian machine:
# both install what is missing through scripts/install-deps first.

BUILD      := build
TEST_BUILD := build/asan
TSAN_BUILD := build/tsan
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

.PHONY: all deps build demo test tsan bench install clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMP3_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	scripts/make-demo $(BUILD)/demo
	@# The player ends with status 1 however it ends, a quit with Q included;
	@# only another status is a failure of the demo.
	cd $(BUILD)/demo && ../mp3 || [ $$? -eq 1 ]

test: deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMP3_SANITIZE=ON -DMP3_WERROR=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS)

tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMP3_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	cd $(TSAN_BUILD) && ctest --output-on-failure -L tsan

bench: build
	bench/run-all $(BUILD)

install: build
	install -D -m 755 $(BUILD)/mp3 $(DESTDIR)$(PREFIX)/bin/mp3

clean:
	rm -rf $(BUILD)
