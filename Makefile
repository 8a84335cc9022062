# Front door. `make demo` builds and runs the program on the bundled sample;
# `make test` builds with AddressSanitizer + UBSan and runs the whole suite.
JOBS ?= 2
BUILD ?= build
TEST_BUILD ?= build-asan

.PHONY: demo test deps build build-test clean mutation screenshots

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

# PNG pictures of the desktop program's windows, rendered offscreen from the
# real widgets over the sample pair.
screenshots: build
	cmake --build $(BUILD) -j$(JOBS) --target tarnwick_screenshots
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen tests/app/tarnwick_screenshots screenshots

# Thousands of damaged copies of the corpus pairs through every command's
# path (tests/mutation); `make test` runs a few hundred of them.
MUTATION_VARIANTS ?= 800
mutation: build-test
	cd $(TEST_BUILD) && export TARNWICK_MUTATION_VARIANTS=$(MUTATION_VARIANTS) \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 GTEST_TOTAL_SHARDS=$(JOBS) && \
	  pids=; for i in $$(seq 0 $$(($(JOBS) - 1))); do \
	    GTEST_SHARD_INDEX=$$i tests/mutation_tests & pids="$$pids $$!"; done; \
	  status=0; for p in $$pids; do wait $$p || status=1; done; exit $$status

clean:
	rm -rf $(BUILD) $(TEST_BUILD) build-fuzz
