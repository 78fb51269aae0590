# The two set-up commands: `make run` and `make test`. Everything else is a step they use.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
XVFB_RUN = xvfb-run -a -s '-screen 0 1280x1024x24'

.PHONY: run test bench package build deps configure clean format

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "No display (DISPLAY and WAYLAND_DISPLAY are unset); to run headless: $(XVFB_RUN) $(BUILD_DIR)/tolvan-file-explorer"; \
		exit 1; \
	fi
	@$(BUILD_DIR)/tolvan-file-explorer

test: build
	@cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

# BENCH=inside runs only tolvan-bench (the program's parts, in-process), BENCH=blackbox only the
# real program measured from outside; BENCH_ARGS and BLACKBOX_ARGS go to each (--help).
BENCH ?= all
bench: deps
	@cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS) --target tolvan-bench tolvan-file-explorer tolvan-slowfs
	@if [ "$(BENCH)" != blackbox ]; then $(BUILD_DIR)/bench/tolvan-bench $(BENCH_ARGS); fi
	@if [ "$(BENCH)" != inside ]; then /usr/bin/python3 bench/blackbox.py \
		--binary $(BUILD_DIR)/tolvan-file-explorer --slowfs $(BUILD_DIR)/tests/slowfs/tolvan-slowfs \
		--limit-tool $(BUILD_DIR)/bench/tolvan-bench $(BLACKBOX_ARGS); fi

# A Debian package of the Release build, written into the build folder.
package: build
	@cd $(BUILD_DIR) && cpack -G DEB >cpack.log 2>&1 || { cat cpack.log >&2; exit 1; }
	@sed -n 's/^CPack: - package: \(.*\) generated\.$$/\1/p' $(BUILD_DIR)/cpack.log | grep . \
		|| { cat $(BUILD_DIR)/cpack.log >&2; exit 1; }

format:
	@clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	@rm -rf $(BUILD_DIR)
