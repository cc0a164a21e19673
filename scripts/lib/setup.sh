# Shared by scripts/run and scripts/test: installs the Debian packages that are
# missing, then configures and builds one build tree incrementally.

GLIMMET_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

GLIMMET_BUILD_PACKAGES=(
  g++ cmake ninja-build pkg-config
  libcli11-dev nlohmann-json3-dev libfmt-dev libpcre2-dev libssl-dev libplist-dev
  libsystemd-dev  # sd-bus's header, for desktop notifications
  libncurses-dev  # ncursesw, for the full-screen glimmet ui
)
GLIMMET_TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-jsonschema zsh clang-format git util-linux iproute2
  strace  # counts the system calls of a disk scan: one stat per entry, one listing per folder
  nodejs  # the e2e tests run agents the npm way: node running a script behind a symlink
  systemd  # systemd-analyze verifies the companion's unit; no manager needs to run
  dbus-daemon  # a private session bus for the alert tests
  tmux  # drives glimmet ui in a real terminal, keys in and the screen out
)

# Installs only what dpkg does not already report as installed, so a second
# run touches neither the network nor apt's lists.
glimmet_install_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q '^install ok installed$'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Installing ${missing[*]} needs root or sudo." >&2; return 1; }
    sudo=(sudo)
  fi
  echo "Installing ${missing[*]}..." >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# glimmet_build DIR [cmake -D options...]: configures DIR once with Ninja and
# the given options, then builds what changed.
glimmet_build() {
  local dir=$1; shift
  if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$GLIMMET_ROOT" -B "$dir" -G Ninja "$@" >&2
  fi
  cmake --build "$dir" >&2
}
