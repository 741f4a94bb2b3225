# Front door. `make demo` and `make test` work on a fresh Debian machine:
# both install what is missing through scripts/install-deps first.

BUILD      := build
TEST_BUILD := build/asan
TSAN_BUILD := build/tsan
FUZZ_BUILD := build/fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := cache path command keys mp3length apetag userstate cmdline
JOBS       ?= $(shell nproc)
PREFIX     ?= /usr/local

.PHONY: all deps build demo test tsan fuzz bench soak install uninstall deb clean

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

# The player, its manual page and its desktop entry under PREFIX, staged
# under DESTDIR when that is set.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

uninstall:
	rm -f "$(DESTDIR)$(PREFIX)/bin/mp3" \
	      "$(DESTDIR)$(PREFIX)/share/man/man1/mp3.1" \
	      "$(DESTDIR)$(PREFIX)/share/applications/folderplay.desktop"

# The Debian package, built from this tree as dpkg-buildpackage builds it
# (into the parent folder), then moved here beside the sources and checked
# with lintian. Its tools are installed for this target only.
deb:
	scripts/install-deps deb
	dpkg-buildpackage -us -uc -b
	version=$$(dpkg-parsechangelog -S Version) && \
	for f in ../folderplay_$${version}_*.deb ../folderplay-dbgsym_$${version}_*.deb \
	         ../folderplay_$${version}_*.buildinfo ../folderplay_$${version}_*.changes; do \
	    if [ -e "$$f" ]; then mv "$$f" .; fi; \
	done && \
	lintian folderplay_$${version}_*.changes

clean:
	rm -rf $(BUILD)
