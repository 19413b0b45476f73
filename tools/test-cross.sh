#!/bin/sh
# Builds the program for one Debian architecture with Debian's cross g++,
# statically, and checks under qemu-user that it answers byte for byte as
# on x86-64: the process tests (built natively, starting the cross-built
# program through a wrapper), the examples, the 100,000 stored records with
# their x86-64 answers, 9,999 usual records against the native program, and
# the scanner check against that architecture's own strtof.
#   tools/test-cross.sh ARCH NATIVE_BUILD
# ARCH is a Debian architecture name; NATIVE_BUILD holds the native build
# with process_test, extended_test and screening.
set -eu
usual_layouts="single-spaces tabs crlf one-per-line aligned signs three-decimals exponents
    long-exponents blank-lines"
arch=$1
native=$2

case $arch in
arm64) triplet=aarch64-linux-gnu processor=aarch64 emulator=qemu-aarch64 ;;
armhf) triplet=arm-linux-gnueabihf processor=arm emulator=qemu-arm ;;
i386) triplet=i686-linux-gnu processor=i686 emulator=qemu-i386 ;;
ppc64el) triplet=powerpc64le-linux-gnu processor=ppc64le emulator=qemu-ppc64le ;;
s390x) triplet=s390x-linux-gnu processor=s390x emulator=qemu-s390x ;;
riscv64) triplet=riscv64-linux-gnu processor=riscv64 emulator=qemu-riscv64 ;;
mips64el) triplet=mips64el-linux-gnuabi64 processor=mips64 emulator=qemu-mips64el ;;
*)
    echo "test-cross: unknown architecture $arch" >&2
    exit 2
    ;;
esac

started=$(date +%s)
build=build-cross/$arch
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/cross.cmake \
    -DSCREENING_TARGET_TRIPLET=$triplet -DSCREENING_TARGET_PROCESSOR=$processor \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DSCREENING_WERROR=ON > "$build.configure.log"
cmake --build "$build" -j 2 --target screening scanner_check

program=$(pwd)/$build/screening-qemu
printf '#!/bin/sh\nexec %s "%s" "$@"\n' "$emulator" "$(pwd)/$build/screening" > "$program"
chmod +x "$program"

SCREENING_BINARY=$program "$native/tests/process_test" > "$build/process_test.log" ||
    { cat "$build/process_test.log"; exit 1; }
SCREENING_BINARY=$program "$native/tests/extended_test" \
    --gtest_filter='VerdictTable.Program*:StoredAnswers.*' > "$build/extended_test.log" ||
    { cat "$build/extended_test.log"; exit 1; }

for example in examples/*.txt; do
    "$program" < "$example" > "$build/example.out"
    cmp "$build/example.out" "${example%.txt}.out"
done

# The stored records are lists of at most 9,999 records, each closed by
# "0 0 0 0"; every list is one run.
rm -rf "$build/lists" && mkdir "$build/lists"
awk -v into="$build/lists" '{ print > sprintf("%s/%03d.txt", into, n) }
    /^0 0 0 0$/ { close(sprintf("%s/%03d.txt", into, n)); n++ }' tests/data/verdict_records.txt
for list in "$build"/lists/*.txt; do "$program" < "$list"; done > "$build/verdict_records.out"
cmp "$build/verdict_records.out" tests/data/verdict_records.out

for layout in $usual_layouts; do
    tools/usual-records.sh "$layout" > "$build/usual-records.txt"
    "$native/screening" < "$build/usual-records.txt" > "$build/usual-records.native.out"
    "$program" < "$build/usual-records.txt" | cmp - "$build/usual-records.native.out"
done

"$emulator" "$build/scanner_check"

echo "$arch: process tests, examples, $(wc -l < tests/data/verdict_records.out) stored answers," \
    "9,999 usual records in $(echo $usual_layouts | wc -w) layouts and the scanner check as on" \
    "x86-64 ($(($(date +%s) - started)) s)"
