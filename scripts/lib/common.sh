# Shared by scripts/demo, scripts/test and scripts/bench: package installation and the build.
# Sourced, not run.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${RZ417_BUILD_DIR:-$ROOT/build}

# Debian packages the build and the tests need.
RZ417_PACKAGES=(
    g++ make cmake pkg-config
    qt6-base-dev qt6-serialport-dev
    libgtest-dev libgmock-dev
    fonts-arphic-uming fonts-dejavu-core
    xvfb xauth xdotool dbus-daemon dbus-bin at-spi2-core
    python3 binutils-mingw-w64-x86-64 desktop-file-utils appstream dpkg-dev file
    locales groff-base
    python3-pyvisa python3-pyvisa-py lxi-tools
    libavahi-client-dev avahi-daemon avahi-utils dbus-daemon
    python3-dbus python3-gi
)

# The Windows build and its tests under Wine: the cross compiler, the host's Qt tools that the
# Windows Qt is built with, GoogleTest's source for the cross build, and NSIS for the installer.
RZ417_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build dpkg-dev xz-utils
    qt6-base-dev qt6-base-dev-tools googletest wine wine64 nsis fonts-dejavu-core
    xvfb xauth xdotool python3 groff-base
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    elif command -v sudo >/dev/null 2>&1; then
        sudo "$@"
    else
        echo "error: '$*' needs root and sudo is not installed" >&2
        return 1
    fi
}

# Installs whichever of the given packages are missing; does nothing when all are there.
ensure_packages() {
    local missing=() p
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # Another installer may hold apt's lock for a few minutes; wait for it rather than fail.
    as_root apt-get -o DPkg::Lock::Timeout=900 update -q </dev/null || return 1
    as_root apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends \
        "${missing[@]}" </dev/null
}

# Configures (once) and builds into $BUILD_DIR; extra arguments go to the first configure.
build_project() {
    if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
        cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" || return 1
    else
        cmake "$BUILD_DIR" "$@" >/dev/null || return 1
    fi
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}
