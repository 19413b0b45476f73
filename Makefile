# Short commands for the CMake presets.
.PHONY: all build run test clean

all: build

build:
	cmake --preset default
	cmake --build --preset default -j 2

run: build
	./build/screening < examples/records.txt

test: build
	ctest --preset default -j 2

clean:
	rm -rf build build-*
