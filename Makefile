# The two commands of the README. Each installs what is missing first, so they work on a fresh
# Debian 12 machine.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench shots package clean

all: build

deps:
	@scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run $(BUILD)/src/vesker

test: build
	@scripts/test $(BUILD)

bench: build
	@scripts/bench $(BUILD)

# The served pages (light and dark) and the windows, rendered from demo state, to $(BUILD)/shots/*.png.
shots: build
	@scripts/shots $(BUILD)

# A Debian package of the installed tree, $(BUILD)/vesker_<version>_<arch>.deb.
package: build
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)

# The program and every test built with AddressSanitizer and UndefinedBehaviorSanitizer in a
# build folder of its own, and the whole suite run with the test services; any report fails it.
# Slow (see scripts/sanitize), so neither `make test` nor CI runs it.
SANITIZE_BUILD ?= build-asan
.PHONY: sanitize
sanitize: deps
	@scripts/sanitize $(SANITIZE_BUILD)

# The HTTP request parser under libFuzzer, built with clang in a build folder of its own and run
# for FUZZ_SECONDS. Inputs it finds go to $(FUZZ_BUILD)/corpus, a crashing one to $(FUZZ_BUILD)/.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
.PHONY: fuzz
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DVESKER_FUZZ=ON -DVESKER_BUILD_TESTS=OFF \
	  -DVESKER_BUILD_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target http_request_fuzz -j $(JOBS)
	@mkdir -p $(FUZZ_BUILD)/corpus
	$(FUZZ_BUILD)/tests/fuzz/http_request_fuzz -max_total_time=$(FUZZ_SECONDS) \
	  -dict=tests/fuzz/http.dict -artifact_prefix=$(FUZZ_BUILD)/ -print_final_stats=1 \
	  $(FUZZ_BUILD)/corpus tests/fuzz/corpus $(wildcard tests/fuzz/regressions)
