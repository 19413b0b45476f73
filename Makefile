# Short commands for the CMake presets.
.PHONY: all build run test clean

all: build

build:
	cmake --preset default
	cmake --build --preset default -j 2

# The program alone, without the tests: GoogleTest is not needed here.
run:
	cmake --preset default
	cmake --build --preset default -j 2 --target screening
	./build/screening < examples/records.txt

test: build
	ctest --preset default -j 2

# Benchmarks and the performance tables (docs/bench.md, docs/bench.png); not
# part of CI. Needs valgrind and gnuplot-nox; with qemu-user and
# g++-aarch64-linux-gnu it also counts arm64 instructions under qemu, about
# ten minutes more (BENCH_QEMU=0 leaves that out).
.PHONY: bench
bench:
	cmake --preset bench
	cmake --build --preset bench -j 2
	bench/run_bench.sh build-bench

# Hostile input: fuzzing (clang 14, libFuzzer), the whole suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, valgrind on the examples,
# and the sweep of all 2^32 binary32 patterns against strtof.
FUZZ_SECONDS ?= 60
SWEEP_ARGS ?=
.PHONY: fuzz sanitize valgrind sweep
fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz -j 2
	fuzz/run-fuzzers.sh build-fuzz $(FUZZ_SECONDS)

sanitize:
	cmake --preset sanitize
	cmake --build --preset sanitize -j 2
	ctest --preset sanitize -j 2

valgrind:
	cmake --preset tools
	cmake --build --preset tools -j 2 --target screening
	tools/valgrind-examples.sh build-tools/screening

sweep:
	cmake --preset tools
	cmake --build --preset tools -j 2 --target sweep
	build-tools/tools/sweep $(SWEEP_ARGS)

# Every binary32 value as record amounts through every kernel this processor
# runs, spelled shortest and in fixed notation, against strtof.
.PHONY: sweep-kernels
sweep-kernels:
	cmake --preset tools
	cmake --build --preset tools -j 2 --target sweep_kernels
	build-tools/tools/sweep_kernels $(SWEEP_KERNELS_ARGS)

# The verdict's integer arithmetic (src/extended.*) against the x87 hardware
# on a hundred million generated records, two threads.
SWEEP_VERDICT_RECORDS ?= 100000000
.PHONY: sweep-verdict
sweep-verdict:
	cmake -S . -B build-sweep-verdict -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSCREENING_WERROR=ON \
		-DSCREENING_NEON_EMULATED=ON
	cmake --build build-sweep-verdict -j 2 --target sweep_verdict
	build-sweep-verdict/tools/sweep_verdict --records $(SWEEP_VERDICT_RECORDS) --threads 2

# The program on an x86-64 processor without AVX2 (qemu-x86_64 -cpu Nehalem),
# where the reader picks its SSE2 build at run time: the process tests, the
# examples, and 9,999 usual records in ten layouts answered as natively.
BASELINE_PROGRAM = $(CURDIR)/build/screening-nehalem
.PHONY: test-x86-64-baseline
test-x86-64-baseline: build
	printf '#!/bin/sh\nexec qemu-x86_64 -cpu Nehalem "%s" "$$@"\n' "$(CURDIR)/build/screening" > $(BASELINE_PROGRAM)
	chmod +x $(BASELINE_PROGRAM)
	SCREENING_BINARY=$(BASELINE_PROGRAM) build/tests/process_test
	for example in examples/*.txt; do \
	    $(BASELINE_PROGRAM) < "$$example" > build/example-nehalem.out && \
	    cmp build/example-nehalem.out "$${example%.txt}.out" || exit 1; \
	done
	for layout in single-spaces tabs crlf one-per-line aligned signs three-decimals \
	    exponents long-exponents blank-lines; do \
	    tools/usual-records.sh $$layout > build/usual-records.txt && \
	    build/screening < build/usual-records.txt > build/usual-records.out && \
	    $(BASELINE_PROGRAM) < build/usual-records.txt | cmp - build/usual-records.out || exit 1; \
	done
	@echo "x86-64 without AVX2: process tests, examples and 9,999 usual records in ten layouts as natively"

# The program cross-built statically for each Debian architecture below with
# Debian's cross g++ (g++-<triplet>) and run under qemu-user: the process
# tests, the examples, the stored records and the scanner check, byte for
# byte as on x86-64 (tools/test-cross.sh). One architecture alone:
# make test-cross ARCH=s390x. NATIVE_BUILD is where the x86-64 test programs
# are built.
CROSS_ARCHITECTURES = arm64 armhf i386 ppc64el s390x riscv64 mips64el
ARCH ?= $(CROSS_ARCHITECTURES)
NATIVE_BUILD ?= build
.PHONY: test-cross test-aarch64
test-cross:
	cmake -S . -B $(NATIVE_BUILD) -DCMAKE_BUILD_TYPE=Release -DSCREENING_WERROR=ON
	cmake --build $(NATIVE_BUILD) -j 2 --target screening process_test extended_test
	for arch in $(ARCH); do tools/test-cross.sh $$arch $(NATIVE_BUILD) || exit 1; done

test-aarch64:
	$(MAKE) test-cross ARCH=arm64

# Installation: the program alone is built, as for make run, then it and its
# manual page are copied to bin/ and share/man/man1/ under $(DESTDIR)$(PREFIX),
# where CMake's install rules (the Debian package's) put them too; make
# uninstall removes the two files. Into /usr/local it needs root: build as
# yourself first (make run), and sudo make install finds the program up to
# date and only copies it. Root builds nothing in another user's tree that has
# no program yet: the directories it made in build/ would be root's, and the
# user's next build could not write there. Plain install commands rather than
# cmake --install, whose build/install_manifest.txt, once root's, stops the
# user's own installs.
PREFIX ?= /usr/local
INSTALLED_PROGRAM = $(DESTDIR)$(PREFIX)/bin/screening
INSTALLED_MANUAL = $(DESTDIR)$(PREFIX)/share/man/man1/screening.1
.PHONY: install uninstall
install:
	@if [ "$$(id -u)" = 0 ] && [ "$$(stat -c %u .)" != 0 ] && [ ! -f build/screening ]; then \
	    echo "make install: build the program first as the owner of this tree (make run)," \
	        "then install as root, or build/ becomes root's" >&2; \
	    exit 1; \
	fi
	@for dir in $(dir $(INSTALLED_PROGRAM) $(INSTALLED_MANUAL)); do \
	    while [ ! -d "$$dir" ]; do dir=$$(dirname "$$dir"); done; \
	    [ -w "$$dir" ] || { echo "make install: cannot write to $$dir: install as root" \
	        "(sudo make install), or choose another PREFIX (PREFIX=\$$HOME/.local) or DESTDIR" >&2; \
	        exit 1; }; \
	done
	test -f build/CMakeCache.txt || cmake --preset default
	cmake --build --preset default -j 2 --target screening
	install -D -m 755 build/screening $(INSTALLED_PROGRAM)
	install -D -m 644 docs/screening.1 $(INSTALLED_MANUAL)

uninstall:
	rm -f $(INSTALLED_PROGRAM) $(INSTALLED_MANUAL)

# The Debian source and binary packages, built by dpkg-buildpackage from a
# copy of the source in build-package/screening/; the .dsc, .tar.xz, .deb,
# .buildinfo and .changes land in build-package/. In a git clone the copy is
# of the files git knows (committed or not, less the ignored ones); in a tree
# without .git (a release tarball, an unpacked source package) it is of the
# whole tree less the build directories and what a package build leaves in
# debian/ (as in .gitignore). DEB_BUILD_OPTIONS=nocheck skips the tests.
PACKAGE_LEFTOVERS = debian/.debhelper debian/screening debian/tmp debian/files \
    debian/*.substvars debian/*.debhelper.log debian/debhelper-build-stamp
.PHONY: package
package:
	rm -rf build-package
	mkdir -p build-package/screening
	if [ -e .git ]; then \
	    git ls-files -z --cached --others --exclude-standard | \
	        xargs -0 cp --parents -P -t build-package/screening; \
	else \
	    find . -mindepth 1 -maxdepth 1 ! -name 'build*' ! -name 'obj-*' -print0 | \
	        xargs -0 cp -R -P -t build-package/screening && \
	    (cd build-package/screening && rm -rf $(PACKAGE_LEFTOVERS)); \
	fi
	cd build-package/screening && dpkg-buildpackage -us -uc
	@ls build-package/*.changes build-package/*.deb

# House style: clang-format over every source (it changes nothing, it only
# reports), clang-tidy over the program with its own compile commands.
FORMAT_SOURCES = $(shell find src tests bench fuzz tools -type f \
    \( -name '*.cpp' -o -name '*.hpp' -o -name '*.c' \) 2>/dev/null | sort)
.PHONY: format-check tidy
format-check:
	clang-format --dry-run --Werror $(FORMAT_SOURCES)

tidy:
	cmake -S . -B build-tidy -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSCREENING_WERROR=ON \
	    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
	clang-tidy -p build-tidy --quiet $(shell find src -name "*.cpp" | sort)

clean:
	rm -rf build build-*
