# make        installs what is missing, builds the five modules into dist/ and
#             renders their previews and the scenarios into dist/preview/
# make test   the same, then runs the whole test suite under Wine
# make bench  the same, then prints what each module costs per frame, load and file
SHELL := bash
.SHELLFLAGS := -o pipefail -c
BUILD := build
JOBS := $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release

.PHONY: all setup configure build test bench clean

all: build
	@cmake/wine-run --shutdown
	@echo "Modules: $(CURDIR)/dist/"
	@ls dist/*.gau | sed 's/^/  /'
	@echo "Pictures of the gauges and of the shipped scenarios: $(CURDIR)/dist/preview/"

setup:
	@cmake/setup.sh

$(BUILD)/CMakeCache.txt: | setup
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) >/dev/null

configure: setup $(BUILD)/CMakeCache.txt

# The artwork tool and the preview renderer run under Wine during the build;
# one wineserver serves them all, and every target below stops it at its end.
build: configure
	@cmake/wine-run --start
	@cmake --build $(BUILD) -j$(JOBS) -- --no-print-directory | { grep -v -E '^\[ *[0-9]+%\] (Built target|Building|Linking)' || true; } \
	  || { status=$$?; cmake/wine-run --shutdown; exit $$status; }

# An empty suite is a failure. The cases of a test program share one Wine
# process (cmake/test-program); a case that fails is run once more, alone in
# a process of its own: now and then Wine loses a program at its start (seen
# about once in fifteen whole runs); the modules and tests are deterministic,
# so a real fault fails both times. The wineserver is stopped before make
# returns, so nothing writes into the build folder later.
test: build
	@status=0; (cd $(BUILD) && ctest --output-on-failure --no-tests=error --repeat until-pass:2 -j$(JOBS)) || status=$$?; \
	  cmake/wine-run --shutdown; exit $$status

# Figures, not a test: the cost of each module's frame, load and file.
bench: build
	@echo "Machine: $$(uname -m), $$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $$(nproc) cores"
	@bin/gaugebench dist/*.gau; \
	  status=$$?; cmake/wine-run --shutdown; exit $$status

clean:
	rm -rf $(BUILD) dist

# make check-strict   runs gaugecheck at its strictest level on every module
.PHONY: check-strict
check-strict: build
	@status=0; for module in dist/*.gau; do bin/gaugecheck "$$module" --level 10 || status=1; done; \
	  cmake/wine-run --shutdown; exit $$status
