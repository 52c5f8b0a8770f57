# The two commands a newcomer needs: `make run` and `make test`.
BUILD ?= build
JOBS ?= 2

.PHONY: run test build setup clean

setup:
	@bash tools/setup.sh

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# With a display, start the recorder; without one, show it working on a private X server and
# sound server.
run: build
	@if [ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
		cd $(BUILD) && ./dongdong-recorder; \
	else \
		bash tools/demo.sh $(BUILD); \
	fi

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) --timeout 600

clean:
	rm -rf $(BUILD)
