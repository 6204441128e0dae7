# The Debian 12 packages Tonebridge needs to build, test and run, in one place.
# Sourced by scripts/run.sh and scripts/test.sh; tonebridge_install_deps installs whatever
# is missing with apt-get (as root, or through sudo).

TONEBRIDGE_PACKAGES=(
  cmake ninja-build g++          # the build
  libcli11-dev                   # option parsing of tonebridge-cli
  libgtest-dev libgmock-dev      # unit and end-to-end tests
  libbenchmark-dev               # benchmarks (release preset)
  qt6-base-dev                   # the desktop program
  xvfb xauth                     # a virtual display for the desktop program's tests
  clang libclang-rt-14-dev       # fuzz targets (fuzz preset)
  valgrind                       # scripts/memcheck.sh
  clang-tidy-14 clang-format-14  # scripts/tidy.sh and the format check (.clang-tidy, .clang-format)
  libfluidsynth-dev              # the audio coders: the synthesizer
  libglib2.0-dev                 # the desktop program: the MIDI application (GIO)
  libsndfile1-dev                # the audio coders: WAV, FLAC, Ogg Vorbis and MP3 files
  timgm6mb-soundfont             # a General MIDI sound font for the audio coders
  help2man                       # the manual pages, written from the programs' --help
  appstream desktop-file-utils   # validating the metainfo and the desktop entry
  shared-mime-info libglib2.0-bin  # checking the MIME types (update-mime-database, gio)
  debootstrap                    # scripts/package_test.sh: a clean Debian 12 root
)

tonebridge_missing_packages() {
  local pkg
  for pkg in "${TONEBRIDGE_PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      printf '%s\n' "$pkg"
    fi
  done
}

tonebridge_install_deps() {
  local missing
  mapfile -t missing < <(tonebridge_missing_packages)
  if [ "${#missing[@]}" -eq 0 ]; then
    return 0
  fi
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "Missing packages: ${missing[*]}" >&2
      echo "Install them as root: apt-get install ${missing[*]}" >&2
      return 1
    fi
  fi
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y --no-install-recommends "${missing[@]}"
}

# The Windows cross-build and its tests under Wine (scripts/wine_test.sh): kept apart so the
# ordinary setup does not pull Wine. googletest is the source package GoogleTest is built from.
TONEBRIDGE_WIN_PACKAGES=(
  g++-mingw-w64-x86-64 g++-mingw-w64-i686   # the cross compilers
  googletest                                # /usr/src/googletest, built for MinGW
  wine wine64                               # runs the Windows tests and the CLI
  wine32:i386                               # runs the 32-bit (win32) CLI
)

tonebridge_install_win_deps() {
  # wine32 is an i386 package: the architecture must be known to apt first.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
      sudo=(sudo)
    fi
    "${sudo[@]}" dpkg --add-architecture i386
  fi
  local saved=("${TONEBRIDGE_PACKAGES[@]}")
  TONEBRIDGE_PACKAGES=("${TONEBRIDGE_WIN_PACKAGES[@]}")
  local rc=0
  tonebridge_install_deps || rc=$?
  TONEBRIDGE_PACKAGES=("${saved[@]}")
  return "$rc"
}
