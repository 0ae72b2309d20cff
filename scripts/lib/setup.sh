# Shared by scripts/run and scripts/test: installs what a fresh Debian 12 machine lacks, idempotently.

# What building and starting the tool needs (the configure step also looks for the test libraries).
TAVREL_PACKAGES=(
    g++ cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libsqlite3-dev
    qt6-base-dev qt6-qpa-plugins qt6-serialport-dev qt6-svg-dev qt6-charts-dev libqt6opengl6-dev
    fonts-dejavu-core fonts-liberation
    locales
)

# What only the test command needs: the fuzzer's compiler, the Windows cross build and Wine, the package checks.
TAVREL_TEST_PACKAGES=(
    clang libclang-rt-14-dev
    umockdev
    g++-mingw-w64-x86-64-posix wine64
    dpkg-dev file lintian desktop-file-utils appstream
    poppler-utils
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

tavrel_install_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Presentation tests run under a decimal-comma locale as well.
tavrel_generate_locales() {
    if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
        echo "Generating locale ru_RU.UTF-8"
        as_root sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
        grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
        as_root locale-gen >/dev/null
    fi
}

# With "test", also what the test command needs.
tavrel_setup() {
    if [ "${1:-}" = test ]; then
        tavrel_install_packages "${TAVREL_PACKAGES[@]}" "${TAVREL_TEST_PACKAGES[@]}"
    else
        tavrel_install_packages "${TAVREL_PACKAGES[@]}"
    fi
    tavrel_generate_locales
}
