# The two everyday commands: `make run` and `make test`. Each installs what a
# fresh Debian 12 machine is missing, configures, builds incrementally, then
# starts the program or runs every test.
BUILD   ?= build
JOBS    ?= $(shell nproc)
PACKAGES = qt6-base-dev cmake g++ make libgtest-dev python3-pyftpdlib \
           fonts-ipafont-gothic xdg-utils xvfb xauth openbox x11-utils \
           python3-cryptography python3-openssl openssl vsftpd \
           qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus dbus-daemon libsecret-tools

.PHONY: all deps configure build run test clean bench fuzz package demo

all: build

# Installing vsftpd must not start the system's own server (a policy-rc.d
# that forbids it while apt runs): the tests and the benchmarks run their own.
deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "installing:" $$missing; \
	  if [ "$$(id -u)" = 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  policy=/usr/sbin/policy-rc.d; added_policy=; \
	  for p in $$missing; do \
	    if [ "$$p" = vsftpd ] && [ -z "$$SUDO" ] && [ ! -e "$$policy" ]; then \
	      printf '#!/bin/sh\nexit 101\n' > "$$policy" && chmod 755 "$$policy" && added_policy=1; \
	    fi; \
	  done; \
	  $$SUDO apt-get update -q && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -q --no-install-recommends $$missing; \
	  status=$$?; \
	  if [ -n "$$added_policy" ]; then rm -f "$$policy"; fi; \
	  exit $$status; \
	fi

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Debug

configure: deps $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/palu_ftp

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

# Release build and the benchmark table (a real FTP server and curl side by side).
bench: deps
	bench/run.sh

# Each fuzzer for a bounded time (FUZZ_SECONDS, default 60) with clang's libFuzzer.
fuzz: deps
	fuzz/run.sh

# The Debian package, built with CPack.
package: deps
	packaging/build-package.sh

# A local FTP server with a sample tree and the program connected to it.
demo: build
	demo/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
