# Thin wrapper over scripts/install-deps, CMake and CTest.
# Helpers working side by side can pick their own build trees:
#   make test TEST_BUILD=build/mine
RELEASE_BUILD ?= build/release
TEST_BUILD ?= build/test
JOBS ?= $(shell nproc)

.PHONY: all deps configure build run test bench gallery format lint install deb clean

all: build

deps:
	@scripts/install-deps

$(RELEASE_BUILD)/build.ninja:
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

configure: deps $(RELEASE_BUILD)/build.ninja

build: configure
	cmake --build $(RELEASE_BUILD) -j $(JOBS)

# The panel and its edge tab on the settings' screenshot folder (needs X11).
run: build
	$(RELEASE_BUILD)/src/tamberk

$(TEST_BUILD)/build.ninja:
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAMBERK_SANITIZE=ON -DTAMBERK_BENCH=OFF

# Installs tamberk, tamberk-cli, the desktop entry and the icon under PREFIX.
PREFIX ?= $(HOME)/.local
install: build
	cmake --install $(RELEASE_BUILD) --prefix $(PREFIX)
	-update-desktop-database $(PREFIX)/share/applications 2>/dev/null
	-gtk-update-icon-cache -q -t $(PREFIX)/share/icons/hicolor 2>/dev/null

# A Debian package of the release build, $(RELEASE_BUILD)/package/tamberk_<version>_<arch>.deb,
# then checked as installed (scripts/check-deb), lintian included.
deb: build
	rm -f $(RELEASE_BUILD)/package/*.deb
	cd $(RELEASE_BUILD) && cpack -G DEB
	scripts/check-deb --lintian $(RELEASE_BUILD)/package/*.deb

test: deps $(TEST_BUILD)/build.ninja
	cmake --build $(TEST_BUILD) -j $(JOBS)
	cd $(TEST_BUILD) && ctest --output-on-failure

# Renders every gallery page (or those whose names contain a word of PAGES) to
# $(GALLERY_OUT)/<page>.png and <page>@2x.png, offscreen.
GALLERY_OUT ?= build/gallery
PAGES ?=
gallery: deps $(TEST_BUILD)/build.ninja
	cmake --build $(TEST_BUILD) --target tamberk-gallery -j $(JOBS)
	QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 $(TEST_BUILD)/tools/tamberk-gallery $(GALLERY_OUT) $(PAGES)

bench: build
	bench/run-all $(RELEASE_BUILD)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h' '*.c')

lint: configure
	clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h' '*.c')
	clang-tidy -p $(RELEASE_BUILD) --quiet $$(git ls-files 'src/*.cpp')

clean:
	rm -rf build
