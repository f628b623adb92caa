# make        installs what is missing, builds the five modules into dist/ and
#             renders their previews and the scenarios into dist/preview/
# make test   the same, then runs the whole test suite under Wine
# make bench  the same, then prints what each module costs per frame, load and file
# make release       the same, then the zips a user downloads, in dist/release/
# make reproducible  builds the release of this commit twice in fresh clones and compares
# make fuzz   fuzzes the scenario and panel.cfg readers and the panel.cfg writer, natively, a few minutes
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

# Setup exits 0 when everything is ready, 3 when the build tools are ready
# but Wine cannot run on this machine (it has said what is missing), and
# anything else when the build tools could not be installed. The second case
# is remembered for the build below. `make SETUP=...` stands in another setup.
SETUP := cmake/setup.sh
WINE_UNAVAILABLE := $(BUILD)/wine-unavailable

setup:
	@status=0; $(SETUP) || status=$$?; \
	  case $$status in \
	    0) rm -f $(WINE_UNAVAILABLE) ;; \
	    3) mkdir -p $(BUILD) && touch $(WINE_UNAVAILABLE) ;; \
	    *) exit $$status ;; \
	  esac

# Configured again whenever a CMake file changed, so that a build folder from
# an older tree learns the targets the build below names.
CMAKE_INPUTS := $(shell find . -path ./$(BUILD) -prune -o -path ./dist -prune -o -path ./.git -prune -o \
  \( -name CMakeLists.txt -o -name '*.cmake' -o -name '*.in' \) -print)
CONFIGURED := $(BUILD)/configured.stamp

$(CONFIGURED): $(CMAKE_INPUTS) | setup
	@cmake -S . -B $(BUILD) --no-warn-unused-cli $(CMAKE_FLAGS) >/dev/null || { rm -f $(BUILD)/CMakeCache.txt; exit 1; }
	@touch $@

configure: setup $(CONFIGURED)

# cmake_build,TARGET: builds TARGET (everything when empty) without the
# routine progress lines.
QUIET_LINES := ^\[ *[0-9]+%\] (Built target|Building|Linking|Creating directories|Performing|No [a-z]+ step|Completed)|^-- [a-z_]+ configure command succeeded
cmake_build = cmake --build $(BUILD) -j$(JOBS) $(if $(1),--target $(1)) -- --no-print-directory \
  | { grep -v -E '$(QUIET_LINES)' || true; }

# The modules come first and need no Wine: their bitmaps are drawn by a
# program of the build machine. The preview renderer runs under Wine; one
# wineserver serves it and the tests, and every target below stops it at its
# end. Without Wine the build stops after the modules, and so does every
# target that needs it.
build: configure
	@$(call cmake_build,modules)
	@if [ -f $(WINE_UNAVAILABLE) ]; then \
	  echo "Modules: $(CURDIR)/dist/"; ls dist/*.gau | sed 's/^/  /'; \
	  echo "The modules are built, but Wine cannot run on this machine (setup said above what is missing)." >&2; \
	  echo "The previews, the tests, make bench and make check-strict load the modules with the Windows" >&2; \
	  echo "loader, which only Wine provides here: none of them was made." >&2; \
	  exit 3; \
	fi
	@cmake/wine-run --start
	@$(call cmake_build) || { status=$$?; cmake/wine-run --shutdown; exit $$status; }

# The tests run two to a core: the window tests spend much of their time
# waiting on Wine's starts and on windows, not computing.
TEST_JOBS := $(shell echo $$(( $(JOBS) * 2 )))

# An empty suite is a failure. The cases of a test program share one Wine
# process (cmake/test-program); a case that fails is run once more, alone in
# a process of its own: now and then Wine loses a program at its start (seen
# about once in fifteen whole runs); the modules and tests are deterministic,
# so a real fault fails both times. The wineserver is stopped before make
# returns, so nothing writes into the build folder later.
test: build
	@status=0; (cd $(BUILD) && ctest --output-on-failure --no-tests=error --repeat until-pass:2 -j$(TEST_JOBS)) || status=$$?; \
	  cmake/wine-run --shutdown; exit $$status

# Figures, not a test: the cost of each module's frame, load and file, and
# of a frame of the example panel's main window in the viewer and of a step of
# a drag of its airspeed display in the layout editor.
bench: build
	@echo "Machine: $$(uname -m), $$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $$(nproc) cores"
	@bin/gaugebench dist/*.gau; status=$$?; \
	  echo; echo "gaugeview: a frame of the example panel's main window, in ms (median, 10th-90th percentile)"; \
	  bin/gaugeview --bench 1000 || status=$$?; \
	  echo; echo "gaugeview: a drag step of the airspeed display over the example panel's main window, in ms (median, 10th-90th percentile)"; \
	  bin/gaugeview --bench-drag 500 || status=$$?; \
	  cmake/wine-run --shutdown; exit $$status

clean:
	rm -rf $(BUILD) dist

# make check-strict   runs gaugecheck at its strictest level on every module
.PHONY: check-strict
check-strict: build
	@status=0; for module in dist/*.gau; do bin/gaugecheck "$$module" --level 10 || status=1; done; \
	  cmake/wine-run --shutdown; exit $$status

# The release: dist/release/ is emptied first, so a build that fails leaves
# no zip behind; the release script itself writes the zips only at its end.
.PHONY: release reproducible
release:
	@rm -rf dist/release
	@$(MAKE) --no-print-directory build
	@cmake --build $(BUILD) --target release -- --no-print-directory | { grep -v -E '^\[ *[0-9]+%\]' || true; } \
	  || { status=$$?; cmake/wine-run --shutdown; exit $$status; }
	@cmake/wine-run --shutdown

reproducible:
	@cmake/reproducible.sh

# make fuzz   builds the scenario and panel.cfg readers natively with clang's
#             libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
#             (installing clang when missing) and fuzzes each for
#             FUZZ_SECONDS, seeded from the tests' files; not part of `make test`
FUZZ_SECONDS ?= 90
.PHONY: fuzz
fuzz:
	@tests/fuzz/run.sh $(BUILD)-fuzz $(FUZZ_SECONDS)
