# Two commands set everything up on a fresh Debian 12 machine:
#   make run   installs what is missing, builds, starts the program
#   make test  installs what is missing, builds, runs every test
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# ON (as .ci/run sets it): everything the tests use is required and a skipped test fails.
HYDROSK_CI ?= OFF

# Debian packages the project needs; see the README for why each one is there.
DEB_PACKAGES := cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev \
                libcli11-dev locales \
                qt6-base-dev qt6-svg-dev fonts-liberation2 xvfb xauth \
                openmpi-bin libopenmpi-dev clang libclang-rt-dev clang-format \
                pybind11-dev python3-pybind11 python3-dev python3-pandas python3-numpy python3-pytest \
                help2man man-db desktop-file-utils bash-completion dpkg-dev file poppler-utils
# Only `make screenshots` needs these; it installs them itself.
SCREENSHOT_PACKAGES := imagemagick xdotool

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

# Installs those of the Debian packages $(1) that are not installed yet.
define install_missing
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq $$missing; \
	fi
endef

.PHONY: all deps build test run clean format format-check reference sanitize fuzz install package screenshots

all: build

deps:
	$(call install_missing,$(DEB_PACKAGES))
	@# The conformance tests compare with EPANET 2.2 run by node (tools/oracle).
	@if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then \
	  echo "Installing: nodejs npm"; \
	  $(SUDO) apt-get update -qq && DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq nodejs npm; \
	fi
	@# The number-conversion tests run under a comma-decimal (German) locale.
	@if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$$'; then \
	  echo "Generating the de_DE.UTF-8 locale"; \
	  $(SUDO) sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen; \
	  grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $(SUDO) tee -a /etc/locale.gen >/dev/null; \
	  $(SUDO) locale-gen >/dev/null; \
	fi

build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DHYDROSK_CI=$(HYDROSK_CI)
	cmake --build $(BUILD_DIR) -j$(JOBS)

test: deps build
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

# Every test again under the address and undefined-behaviour sanitizers, in an optimised build
# with debug information (unoptimised, the long searches on ky10 take over ten minutes each).
sanitize: deps
	cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHYDROSK_SANITIZE=ON -DHYDROSK_BENCHMARKS=OFF \
	  -DHYDROSK_CI=$(HYDROSK_CI)
	cmake --build build-sanitize -j$(JOBS)
	cd build-sanitize && ctest --output-on-failure -j$(JOBS)

# The libFuzzer targets, built with clang in build-fuzz/, each run for FUZZ_SECONDS: the INP
# reader (with the first hydraulic steps) on the shared networks as seeds (cut to 32 KiB, for
# speed), and the readers of the constraint and settings files. A crash, a hang or undefined behaviour fails the target;
# what it found is left in build-fuzz/ (crash-*, timeout-*).
FUZZ_SECONDS ?= 60
FUZZ_DIR := build-fuzz
FUZZ_FLAGS = -max_total_time=$(FUZZ_SECONDS) -timeout=20 -rss_limit_mb=2048 \
             -artifact_prefix=$(FUZZ_DIR)/ -print_final_stats=1
SHARED_NETWORKS := ../shared/networks
fuzz: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DHYDROSK_FUZZ=ON -DHYDROSK_BENCHMARKS=OFF -DHYDROSK_PYTHON=OFF
	cmake --build $(FUZZ_DIR) -j$(JOBS) --target inp_reader_fuzz constraint_settings_fuzz
	mkdir -p $(FUZZ_DIR)/corpus/inp $(FUZZ_DIR)/corpus/files
	@if [ -d $(SHARED_NETWORKS) ]; then \
	  $(FUZZ_DIR)/toolkit/input/fuzz/inp_reader_fuzz $(FUZZ_FLAGS) -max_len=32768 \
	    $(FUZZ_DIR)/corpus/inp $(SHARED_NETWORKS); \
	elif [ "$(HYDROSK_CI)" = ON ]; then \
	  echo "fuzz: $(SHARED_NETWORKS) is absent, which CI does not allow"; exit 1; \
	else \
	  echo "fuzz: $(SHARED_NETWORKS) is absent; the INP reader is not fuzzed"; \
	fi
	$(FUZZ_DIR)/files/fuzz/constraint_settings_fuzz $(FUZZ_FLAGS) $(FUZZ_DIR)/corpus/files \
	  files/fuzz/seeds

# Opens the window on the desktop. Without a display (a server, a container) the
# window opens on a virtual screen of Xvfb instead; Ctrl+C ends it there.
run: deps build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD_DIR)/app/hydrosk; \
	else \
	  echo "No display: the window runs on a virtual Xvfb screen (Ctrl+C ends it)"; \
	  xvfb-run -a -s "-screen 0 1280x1024x24" $(BUILD_DIR)/app/hydrosk; \
	fi

# The README's screenshots of the study window (docs/study-window*.png), taken on a virtual
# screen by tools/study_screenshots.sh: Net3 with its duration set to 0 (the design and
# available-flow runs are steady-state runs) and its four junctions below 20 psi without fire
# flow in NoCheck.txt, prepared in $(SCREENSHOT_DIR).
SCREENSHOT_DIR := $(BUILD_DIR)/screenshots
screenshots: deps build
	$(call install_missing,$(SCREENSHOT_PACKAGES))
	mkdir -p $(SCREENSHOT_DIR)
	sed 's/^ Duration .*/ Duration 0/' $(SHARED_NETWORKS)/Net3.inp > $(SCREENSHOT_DIR)/Net3.inp
	printf '"10"\r\n"20"\r\n"40"\r\n"50"\r\n' > $(SCREENSHOT_DIR)/NoCheck.txt
	tools/study_screenshots.sh $(BUILD_DIR)/app/hydrosk $(SCREENSHOT_DIR)/Net3.inp docs

# Installs the programs, the example, the manual pages, the desktop entries, the icon and the
# completion under PREFIX (DESTDIR for a staging folder).
PREFIX ?= /usr/local
install: deps build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR) --prefix $(PREFIX)

# The Debian packages in $(BUILD_DIR): hydrosk_<version>-1_<arch>.deb (the window and the
# command line) and hydrosk-mpi_... (the cluster runner); install with
# apt-get install ./$(BUILD_DIR)/hydrosk_*.deb
package: deps build
	cd $(BUILD_DIR) && cpack -G DEB

# Regenerates the EPANET 2.2 reference results that the conformance tests compare against.
reference:
	cd tools/oracle && npm ci --no-audit --no-fund && \
	  node make-reference.mjs "$(abspath ../shared/networks)" "$(abspath $(BUILD_DIR))/conformance-reference"

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# Fails when a source file is not in the project's clang-format style (.clang-format).
format-check: deps
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD_DIR)
