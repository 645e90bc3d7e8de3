# Sourced by run.sh and test.sh: installs the Debian packages the build needs, only those missing.
kestrava_ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$package")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -q
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}

KESTRAVA_BUILD_PACKAGES=(cmake ninja-build g++ tzdata)
KESTRAVA_TEST_PACKAGES=(libgtest-dev libgmock-dev dosfstools fusefat)
