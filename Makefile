# make run: build everything and start Zentrel under Wine.
# make test: build everything and run every test (native core, Wine, the installer).
# make package: build the Windows installer, build/zentrel-<version>-x64.msi.
# make screenshots: pictures of the windows under Xvfb, at 96 and 144 DPI.
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

# Screenshots under Xvfb (build/*.png): the toolbar, its drop-down and the
# viewer, the companion tools, and each window at 96 and at 144 DPI.
screenshots: win
	@scripts/shot-commands
	@scripts/shot-companion
	@scripts/shot-scale 96
	@scripts/shot-scale 144

clean:
	rm -rf build
