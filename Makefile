# The two commands of the README: `make run` and `make test`.
JOBS := $(shell nproc)
ARGS ?=

.PHONY: run test bench format deps

deps:
	@scripts/install-deps.sh

run: deps
	@cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVIVIDRA_BUILD_TESTS=OFF \
		-DVIVIDRA_BUILD_BENCH=OFF >/dev/null
	@cmake --build build/release -j$(JOBS) --target vividra
	./build/release/vividra $(ARGS)

test:
	@scripts/test.sh

bench: deps
	@cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVIVIDRA_BUILD_TESTS=OFF >/dev/null
	@cmake --build build/bench -j$(JOBS) --target vividra_bench vividra-fx
	./build/bench/bench/vividra_bench $(ARGS)

format:
	@git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | xargs clang-format -i
