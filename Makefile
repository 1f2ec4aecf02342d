# make demo: install what is missing, build the program, run the bundled fit example.
# make test: install what is missing, build, run the whole test suite.
# make install [PREFIX=/usr/local] [DESTDIR=...]: the program, its man page, the examples and
# the Python module (into PREFIX/lib/python3.X/dist-packages or site-packages).
BUILD ?= build
PREFIX ?= /usr/local
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all deps build program demo test install clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DREDORDIST_PYTHON=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Only the program, not the tests and benchmarks.
program: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target redordist

# The run directory is made one level deep, so examples/runs/ must exist.
demo: program
	mkdir -p examples/runs
	cd examples && $(abspath $(BUILD))/redordist fit.par
	@echo
	@echo "Figure: examples/runs/fit_cn/fit_cn.pdf and examples/runs/fit_cn/fit_cn.png"
	@echo "Summary: examples/runs/fit_cn/fit_cn.json; run log: examples/runs/fit_cn/fit_cn.log"

# DESTDIR is honoured by cmake --install from the environment.
install: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target installable
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

# Twice as many tests as cores at a time: many wait on the program, gnuplot
# or a timer rather than compute. With more threads than cores, OpenMP's
# waiting threads sleep instead of spinning (no result depends on it).
test: build
	cd $(BUILD) && OMP_WAIT_POLICY=PASSIVE ctest --output-on-failure -j $$(( 2 * $(JOBS) ))

clean:
	rm -rf $(BUILD)
