# The two commands of the README: `make run` and `make test`.
JOBS := $(shell nproc)
ARGS ?=

.PHONY: run test bench package soak fuzz format deps

deps:
	@scripts/install-deps.sh

run: deps
	@scripts/configure.sh build/release -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
		-DVIVIDRA_BUILD_TESTS=OFF -DVIVIDRA_BUILD_BENCH=OFF
	@cmake --build build/release -j$(JOBS) --target vividra
	./build/release/vividra $(ARGS)

test:
	@scripts/test.sh

# A Debian package from a release build of its own: build/package/vividra_<version>_amd64.deb.
package: deps
	@scripts/configure.sh build/package -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
		-DCMAKE_INSTALL_PREFIX=/usr -DVIVIDRA_BUILD_TESTS=OFF -DVIVIDRA_BUILD_BENCH=OFF
	@cmake --build build/package -j$(JOBS) --target package

bench: deps
	@scripts/configure.sh build/bench -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
		-DVIVIDRA_BUILD_TESTS=OFF
	@cmake --build build/bench -j$(JOBS) --target vividra_bench vividra-fx
	./build/bench/bench/vividra_bench --benchmark_filter=-SessionPeakMemory \
		--benchmark_out=build/bench/ours.json --benchmark_out_format=json $(ARGS)
	# The session's peak memory is the whole process's: each form runs in a process of its own.
	./build/bench/bench/vividra_bench --benchmark_filter=SessionPeakMemory/0
	./build/bench/bench/vividra_bench --benchmark_filter=SessionPeakMemory/1
	bench/peers.sh build/bench/ours.json

# A long run of the randomized session test: make soak SEQUENCES=5000 SEED=1
SEQUENCES ?= 3000
SEED ?= 1
soak: deps
	@scripts/configure.sh build/release-tests -DCMAKE_CXX_COMPILER=g++ -DCMAKE_BUILD_TYPE=Release \
		-DVIVIDRA_BUILD_TESTS=ON -DVIVIDRA_BUILD_BENCH=ON
	@cmake --build build/release-tests -j$(JOBS) --target impatient_user_qtest
	QT_QPA_PLATFORM=offscreen VIVIDRA_SOAK_SEQUENCES=$(SEQUENCES) VIVIDRA_SOAK_SEED=$(SEED) \
		./build/release-tests/tests/impatient_user_qtest

# A long fuzzing campaign, every parser for RUNS inputs: make fuzz RUNS=1000000
RUNS ?= 1000000
fuzz: deps
	@scripts/fuzz.sh $(RUNS)

format:
	@git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs clang-format -i
