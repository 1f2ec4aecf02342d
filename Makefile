# make demo: install what is missing, build, run the bundled fit example.
# make test: install what is missing, build, run the whole test suite.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps build demo test clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# The run directory is made one level deep, so examples/runs/ must exist.
demo: build
	mkdir -p examples/runs
	cd examples && $(abspath $(BUILD))/redordist fit.par
	@echo
	@echo "Figure: examples/runs/fit_cn/fit_cn-ps.eps"
	@echo "Also in examples/runs/fit_cn/: fit_cn.log (run log), fit_cn.me (result table),"
	@echo "fit_cn.sa (annealing trace), fit_cn.gp and fit_cn-ps.gp (gnuplot scripts)."

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
