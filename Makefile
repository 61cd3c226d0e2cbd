# Quellmark: the everyday commands. `make run` and `make test` work on a fresh Debian machine.
PRESET_DIR := build
CLI := $(PRESET_DIR)/bin/quellmark-cli

.PHONY: all deps build cli run test lint asan tsan bench fuzz examples screenshot screenshot-windows package windows clean

all: build

deps:
	scripts/install-deps test gui

build: deps
	cmake --preset release
	cmake --build --preset release

# The command line alone, for `make run`: the packages it needs and one program to build. A
# build/ that `make test` configured already is kept as it is.
cli:
	scripts/install-deps
	@[ -f $(PRESET_DIR)/CMakeCache.txt ] || cmake --preset cli
	@echo "Building quellmark-cli (the first time takes about two minutes on two cores)"
	cmake --build $(PRESET_DIR) --target quellmark-cli

# Shows what the bundled example drawings hold, then converts them into out/. One example fails
# on purpose (a drawing cut short) and one is no drawing, so quellmark-cli ends with status 1
# there, which is expected: make run itself ends with 0 unless something else went wrong.
run: cli
	$(CLI) info examples/*; [ $$? -le 1 ]
	@echo
	$(CLI) convert -o out examples; [ $$? -le 1 ]
	@echo
	@echo "The converted drawings are in out/. broken.jww fails on purpose: it is cut short, to show"
	@echo "how a damaged drawing is reported; notes.txt is no drawing and is skipped."
	@echo "Next: make test (every test), make package (Debian packages), build/bin/quellmark-cli help"

test: build
	ctest --preset release -j 2

# The C++ files this change touches (since the branch left origin/main, or the last commit): the
# changed lines in the house style (.clang-format) and the files through clang-tidy (.clang-tidy).
lint:
	scripts/install-deps lint
	@[ -f $(PRESET_DIR)/compile_commands.json ] || cmake --preset release
	scripts/lint $(PRESET_DIR)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
asan: deps
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -j 2

# The engine, the batch session and the command line under ThreadSanitizer: the batch runs on
# several threads, and a session and the window's thread share its events.
tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan -j 2

# Conversion speed in memory for each shape (Google Benchmark), the folder search through 27,931
# folders (Google Benchmark, then in the window), the window listing folders of 2,000 and 20,000
# drawings, three batches against cp -r and cat (and, syncing, cp -r then sync),
# the peak memory of one large drawing of each shape, and the preview pane on drawings just under
# 1 MB (a selection to its picture, one paint, the memory a preview takes).
bench: build
	scripts/install-deps bench
	$(PRESET_DIR)/bin/convert_bench
	$(PRESET_DIR)/bin/render_bench
	$(PRESET_DIR)/bin/preview_bench
	$(PRESET_DIR)/bin/preview-memory
	$(PRESET_DIR)/bin/search_bench
	$(PRESET_DIR)/bin/list-bench
	bench/batch-vs-copy $(PRESET_DIR)
	$(PRESET_DIR)/bin/scan-paths $(PRESET_DIR)/bench-batches/mixed $(PRESET_DIR)/bench-batches/small $(PRESET_DIR)/bench-batches/large \
	  $(PRESET_DIR)/bench-batches/heavy $(PRESET_DIR)/bench-batches/office
	bench/xfs-sharing $(PRESET_DIR)

# Builds the libFuzzer targets (clang), writes their seed corpus and runs each for FUZZ_SECONDS,
# two at a time; findings and logs land in fuzz/artifacts/.
FUZZ_SECONDS ?= 600
fuzz:
	fuzz/run $(FUZZ_SECONDS)

# Runs the window under Xvfb on the examples and a generated folder tree, lists the drawings
# and saves docs/screenshot.png.
screenshot: deps
	scripts/screenshot

# Runs the Win32 window under Wine, Xvfb and openbox on the same sample folder and saves
# docs/screenshot-windows.png.
screenshot-windows:
	scripts/screenshot-windows

# Regenerates examples/ with the project's own generator.
examples: build
	rm -rf examples
	$(PRESET_DIR)/bin/make-examples examples

# The Debian packages build/package/quellmark-cli_VERSION_ARCH.deb (the command line alone) and
# build/package/quellmark_VERSION_ARCH.deb (the window), made by CPack from the install rules of
# a build of the shipped programs alone with Debian's hardening flags (all of them, so bindnow
# too), then checked (scripts/check-packages, lintian among them). `apt install
# ./build/package/quellmark*.deb` (as root, or with sudo) installs both.
HARDENING := DEB_BUILD_MAINT_OPTIONS=hardening=+all
package:
	scripts/install-deps gui package
	cmake --preset package -DCMAKE_CXX_FLAGS="$$($(HARDENING) dpkg-buildflags --get CPPFLAGS) $$($(HARDENING) dpkg-buildflags --get CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(HARDENING) dpkg-buildflags --get LDFLAGS)"
	cmake --build --preset package
	cd build/package && cpack
	scripts/check-packages build/package

# The window quellmark.exe and quellmark-cli.exe cross-built for 64-bit Windows, every suite run
# under Wine (the window's own with Wine's null display driver, so no display is needed), and
# dist/quellmark-windows-x64.zip and dist/quellmark-windows-x64.msi. Wine's prefix lives in
# build/windows/wine and is made on the first run, before the suites start side by side. A suite that fails is run once more,
# because Wine itself now and then fails a process for no fault of ours; both runs' output is
# shown.
windows:
	scripts/install-deps windows
	cmake --preset windows
	cmake --build --preset windows
	WINEDEBUG=-all WINEPREFIX=$(CURDIR)/build/windows/wine wine cmd /c exit
	ctest --preset windows -j 2 --repeat until-pass:2
	scripts/pack-windows

clean:
	rm -rf build out dist
