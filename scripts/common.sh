# Shared by scripts/run and scripts/test: install what is missing, configure, build.
# Usage: qinghe_build BUILD_DIR [extra cmake arguments...]

QINGHE_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# Debian packages the program, its tests and its benchmarks need.
QINGHE_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-pdf-dev libqt6pdfwidgets6 qt6-qpa-plugins
    libsqlite3-dev libjpeg62-turbo-dev libssl-dev
    libicu-dev   # pinyin of titles
    unicode-data   # Unihan readings: the pinyin table generated at build time
    libarchive-dev   # backup files
    libopencc-dev   # traditional and simplified Chinese as one in searches
    libzstd-dev   # the e-books' texts kept compressed
    libpoppler-cpp-dev   # the PDF worker reads the e-books' text with poppler
    poppler-utils   # bench_search compares the e-book text reading with pdftotext
    debian-reference-zh-cn   # bench_pdfworker reads the text of its PDF (a real Chinese manual)
    qt6-charts-dev libqt6opengl6-dev   # the statistics page (its CMake files need the OpenGL ones)
    fonts-wqy-microhei
    qt6-translations-l10n   # Qt's own dialogs in Chinese
    qt6-svg-dev   # tools/makeart only: draws the icon from its SVG
    libzxing-dev   # ISBN barcodes in photos and camera frames
    zxing-cpp-tools imagemagick   # the barcode tests and bench_barcode make their photos with ZXingWriter and convert
    qt6-image-formats-plugins   # WebP photos
    qt6-multimedia-dev   # the camera scan window
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good   # Qt Multimedia's GStreamer camera (v4l2src, videoconvert)
)

qinghe_install_packages() {
    local missing=()
    local pkg
    for pkg in "${QINGHE_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        sudo="sudo"
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

qinghe_build() {
    local dir="$1"
    shift
    qinghe_install_packages
    if [ ! -f "$dir/build.ninja" ]; then
        local launcher=()
        if command -v ccache >/dev/null; then
            launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        fi
        cmake -S "$QINGHE_ROOT" -B "$dir" -G Ninja "${launcher[@]}" "$@"
    fi
    cmake --build "$dir" --parallel "$(nproc)"
}
