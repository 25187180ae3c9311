# The README's commands. `make run` and `make test` work on a fresh Debian 12
# machine: each first installs what is missing.

BUILD       ?= build
ASAN_BUILD  ?= build-asan
FUZZ_BUILD  ?= build-fuzz
BENCH_BUILD ?= build-bench
JOBS        ?= $(shell nproc)
FUZZ_SECONDS ?= 20

CMAKE_FLAGS ?=

.PHONY: all deps build run screenshot test unit-test asan-test tsan-test fuzz-test bench demo clean format

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

# Opens the window on the demo kit. Without a display (no DISPLAY, no
# WAYLAND_DISPLAY) it runs on a virtual X display instead, and says so.
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  $(BUILD)/thumper $(BUILD)/demo/demo.drums; \
	elif command -v xvfb-run >/dev/null 2>&1; then \
	  echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are unset): running on a virtual X display"; \
	  echo "make run: the window is not visible there. Stop it with Ctrl+C."; \
	  echo "make run: 'make screenshot' writes a picture of the window to docs/screenshot.png"; \
	  echo "make run: to hear the demo kit here: 'make demo' renders the demo groove to demo.wav,"; \
	  echo "make run: and with a JACK server on the sound card (for example 'jackd -d alsa &')"; \
	  echo "make run: '$(BUILD)/thumper play $(BUILD)/demo/demo.drums' plays it live from MIDI"; \
	  echo "make run: into 'Thumper MIDI In'."; \
	  xvfb-run -a $(BUILD)/thumper $(BUILD)/demo/demo.drums; \
	else \
	  echo "make run: no display (DISPLAY and WAYLAND_DISPLAY are unset) and no xvfb-run to make one" >&2; \
	  exit 1; \
	fi

# A picture of the main window on the demo kit, drawn on Qt's offscreen platform.
screenshot: build
	@mkdir -p docs
	QT_QPA_PLATFORM=offscreen $(BUILD)/thumper $(BUILD)/demo/demo.drums --screenshot docs/screenshot.png
	@echo "wrote docs/screenshot.png"

test: unit-test asan-test tsan-test fuzz-test

# A test against a live JACK server can miss a period on a busy machine, so a
# failed test is run once more before it counts.
unit-test: build
	cd $(BUILD) && ctest --output-on-failure --timeout 300 -j $(JOBS) --repeat until-pass:2

# Sanitizer builds: -O1 and line tables only (file and line in every report)
# build in about half the time of -O2 -g, and the tests run as fast.
SANITIZER_FLAGS = -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"

# The engine's tests again under AddressSanitizer and UndefinedBehaviorSanitizer.
# The tests against a live JACK server stay out: their deadlines are real time,
# which a sanitized build on a busy machine can miss (the plain run has them).
asan-test: deps
	@cmake -S . -B $(ASAN_BUILD) $(SANITIZER_FLAGS) -DTHUMPER_GUI=OFF \
	  -DTHUMPER_SANITIZE=address,undefined >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target test_drumset test_audio test_play test_midi test_engine test_kits test_app test_lv2 demo_kit
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure --timeout 600 -j $(JOBS) -LE 'gui|e2e' -E 'Jack|Live|Jalv|_NOT_BUILT$$'

# The real-time engine's tests under ThreadSanitizer (Qt and the audio servers'
# client libraries are not built with it, so the GUI and end-to-end tests stay out).
TSAN_BUILD ?= build-tsan
tsan-test: deps
	@cmake -S . -B $(TSAN_BUILD) $(SANITIZER_FLAGS) -DTHUMPER_GUI=OFF \
	  -DTHUMPER_SANITIZE=thread >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_audio test_play test_midi test_engine
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
	  ctest --output-on-failure --timeout 600 -j $(JOBS) -L 'audio|play|midi|engine' -E 'Jack|Live|MidiInput|_NOT_BUILT$$'

# Renders the demo groove through the demo kit.
demo: build
	$(BUILD)/thumper render $(BUILD)/demo/demo.drums $(BUILD)/demo/demo.mid -o demo.wav
	@echo "wrote demo.wav"

# Short libFuzzer runs of every reader; any crash, leak or sanitizer report fails.
fuzz-test: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTHUMPER_GUI=OFF -DTHUMPER_TESTS=OFF -DTHUMPER_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)
	scripts/run-fuzzers $(FUZZ_BUILD)/fuzz $(FUZZ_SECONDS)

bench: deps
	@cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DTHUMPER_GUI=ON \
	  -DTHUMPER_TESTS=OFF -DTHUMPER_BENCH=ON >/dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for b in $(BENCH_BUILD)/bench/bench_*; do \
	  [ -f "$$b" ] && [ -x "$$b" ] || continue; \
	  echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b || exit 1; \
	done
	@echo "== bench/quiet_at_rest.sh"; bench/quiet_at_rest.sh $(BENCH_BUILD)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(BENCH_BUILD)
