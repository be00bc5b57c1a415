#!/usr/bin/env bash
# Makes the Debian package build/zembra_<version>_amd64.deb (and beside it one package per file
# manager module that was built: zembra-thunar, zembra-nemo, ...) with the project's packaging
# (debian/, dpkg-buildpackage -b -us -uc). The package is built in a copy of the tree under
# build/package/, so the tree itself gets no build files; the tests and benchmarks are not built.
# A compiler launcher (CMAKE_CXX_COMPILER_LAUNCHER=ccache) in the environment is used. Prints the
# package's path last on standard output.
#   DEB_BUILD_OPTIONS  added to "nocheck parallel=2"
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in dpkg-buildpackage dh; do
  if ! command -v "$tool" >/dev/null; then
    echo "package.sh: $tool is missing (apt-get install dpkg-dev debhelper)" >&2
    exit 1
  fi
done

version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
work=build/package
# The same folder each time, so that a compiler cache finds its earlier results.
copy=$work/zembra-$version
rm -rf "$work"
mkdir -p "$copy"

# The working tree's files as git sees them (new files too, ignored ones not); outside a git
# checkout, every file but the build folders.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$copy"
else
  tar --exclude='./build' --exclude='./build-*' -cf - . | tar -xf - -C "$copy"
fi

echo "Building the package (log: $work/build.log)" >&2
if ! (cd "$copy" &&
  DEB_BUILD_OPTIONS="nocheck parallel=2 ${DEB_BUILD_OPTIONS:-}" \
    dpkg-buildpackage -b -us -uc) >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log" >&2
  echo "package.sh: the package build failed; see $work/build.log" >&2
  exit 1
fi
rm -rf "$copy"

# The file managers' modules come as packages of their own beside it.
for module in "$work"/zembra-*_"${version}_${arch}".deb; do
  [ -e "$module" ] && cp "$module" build/
done
deb="build/zembra_${version}_${arch}.deb"
cp "$work/zembra_${version}_${arch}.deb" "$deb"
echo "$deb"
