# make run: build everything and start Zentrel under Wine.
# make test: build everything and run every test (native core, Wine, the installer).
# make package: build the Windows installer, build/zentrel-<version>-x64.msi.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
ARGS ?=

.PHONY: all bootstrap host win run package test test-host test-win test-package fuzz bench screenshots clean

all: host win

bootstrap:
	@scripts/bootstrap

build/host/CMakeCache.txt:
	cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug

host: bootstrap build/host/CMakeCache.txt
	cmake --build build/host -j $(JOBS)

build/win/CMakeCache.txt:
	cmake -S . -B build/win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release

win: bootstrap build/win/CMakeCache.txt
	cmake --build build/win -j $(JOBS)

run: win
	@scripts/run $(ARGS)

test-host: host
	cd build/host && ctest --output-on-failure

package: bootstrap build/win/CMakeCache.txt
	cmake --build build/win -j $(JOBS) --target zentrel zentrel_console zentrel_help
	@scripts/package

test-win: win
	@scripts/wine-test

test-package: win
	@scripts/package-test

test: test-host test-win test-package

fuzz: bootstrap
	@scripts/fuzz

bench: win
	@scripts/bench

clean:
	rm -rf build
