# Front door. `make demo` builds and runs the program on the bundled sample;
# `make test` builds with AddressSanitizer + UBSan and runs the whole suite.
JOBS ?= 2
BUILD ?= build
TEST_BUILD ?= build-asan

.PHONY: demo test deps build build-test clean

deps:
	@tools/install_deps.sh

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j$(JOBS)

# The sample pair: a shop database whose log holds a few hundred operations
# in named, interleaved transactions (tools/sample_database.h).
demo: build
	$(BUILD)/tools/make_sample_database $(BUILD)/sample.mdf $(BUILD)/sample_log.ldf
	$(BUILD)/tarnwick-cli scan --ldf $(BUILD)/sample_log.ldf --mdf $(BUILD)/sample.mdf
	$(BUILD)/tarnwick-cli show --ldf $(BUILD)/sample_log.ldf --mdf $(BUILD)/sample.mdf --op 1

build-test: deps
	cmake -S . -B $(TEST_BUILD) -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON \
	  -DTARNWICK_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-g -O1"
	cmake --build $(TEST_BUILD) -j$(JOBS)

test: build-test
	cd $(TEST_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS)
	JOBS=$(JOBS) tools/run_fuzzers.sh

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-fuzz
