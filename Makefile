# Shortcuts over the CMake presets; CMake does the work.
.PHONY: example test bench bench-start bench-windows release sanitize fuzz lint clean

EXAMPLE_DIR := build/example

# Builds the tool and converts the bundled example capture.
example:
	cmake --preset default
	cmake --build --preset default --target trovconv
	mkdir -p $(EXAMPLE_DIR)
	cp examples/example.dat $(EXAMPLE_DIR)/example.dat
	build/default/trovconv $(EXAMPLE_DIR)/example.dat
	@echo "Wrote $(EXAMPLE_DIR)/example.tim; its first lines:"
	@head -n 8 $(EXAMPLE_DIR)/example.tim

# Builds the default preset and runs its tests.
test:
	cmake --workflow --preset default

# Times the tool against cp on the largest and a typical capture, then the
# writer alone; fails when a speed or memory target is missed.
bench:
	cmake --preset default
	cmake --build --preset default --target bench

# The start of a typical conversion: the static tool against the same
# sources linked dynamically.
bench-start:
	cmake --preset default
	cmake --build --preset default --target trovconv
	cmake -S . -B build/dynamic -DTROVCONV_STATIC=OFF -DBUILD_TESTING=OFF
	cmake --build build/dynamic --target trovconv
	sh bench/linux_start.sh build/default/trovconv build/dynamic/trovconv \
	  examples/example.dat

# The Windows build under Wine: the DLLs it loads at start, and a typical
# conversion against a build without the stack protector.
bench-windows:
	cmake --preset windows
	cmake --build --preset windows --target trovconv
	cmake --preset windows-plain
	cmake --build --preset windows-plain
	env $$(cat build/windows/wine.env) sh bench/wine_start.sh \
	  build/windows/trovconv.exe build/windows-plain/trovconv.exe \
	  examples/example.dat

# The source archive, every package, BUILDINFO and SHA256SUMS, in
# build/release: the same bytes from any clone of the same commit, or from
# its source archive; signed with SIGN=KEYID, its Windows executable with
# WINCERT=CERT.pfx WINCERT_PASS=PASSFILE [WINCERT_TIMESTAMP=URL], or given
# the published signature with WINSIG=FILE (CONTRIBUTING.md, Release
# checklist).
release:
	@SIGN="$(SIGN)" WINCERT="$(WINCERT)" WINCERT_PASS="$(WINCERT_PASS)" \
	  WINCERT_TIMESTAMP="$(WINCERT_TIMESTAMP)" WINSIG="$(WINSIG)" \
	  sh packaging/release.sh

# The suite under the sanitizers, the fuzzers for a minute, and the static
# checks (CONTRIBUTING.md, Platforms and presets).
sanitize:
	cmake --workflow --preset sanitize

fuzz:
	cmake --preset sanitize
	cmake --build --preset sanitize
	sh fuzz/run.sh build/sanitize 60

lint:
	cmake --preset sanitize
	cmake --preset windows
	sh tests/static_checks.sh build/sanitize build/windows

clean:
	rm -rf build
