# Shared by scripts/run and scripts/test: installs what a fresh Debian 12 machine lacks, idempotently.

TAVREL_PACKAGES=(
    g++ cmake ninja-build pkg-config git
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libsqlite3-dev
    clang libclang-rt-14-dev
    umockdev
    qt6-base-dev qt6-qpa-plugins qt6-serialport-dev qt6-charts-dev libqt6opengl6-dev
    poppler-utils
    fonts-dejavu-core fonts-liberation
    locales
)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

tavrel_install_packages() {
    local missing=()
    local pkg
    for pkg in "${TAVREL_PACKAGES[@]}"; do
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

tavrel_setup() {
    tavrel_install_packages
    tavrel_generate_locales
}
