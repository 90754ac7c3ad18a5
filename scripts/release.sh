#!/usr/bin/env bash
# Builds every download of a release from the commit checked out, into dist/:
#   tavrek_<version>_<arch>.deb              the Debian package
#   tavrek-<version>-win64-setup.exe         the installers for 64-bit and
#   tavrek-<version>-win32-setup.exe         32-bit Windows
#   tavrek-<version>-win64.zip               the portable Windows programs
#   tavrek-<version>-win32.zip
#   tavrek-<version>-web.zip                 the site, for any static HTTPS host
#   tavrek-<version>.html                    the page as one file, opened from the disk
#   tavrek-<version>.tar.gz                  the source: what the commit holds
#   SHA256SUMS                               their checksums, as sha256sum -c reads them
# and prints each file with its size and checksum.
#
# Two runs on the same commit give the same bytes, in any folder, at any
# time, under any time zone, locale and umask: every date is the commit's
# (SOURCE_DATE_EPOCH, as the reproducible-builds conventions say), the build
# folders stay out of the programs, and every archive holds its members
# sorted, with fixed owners, dates and permissions. It refuses a working
# tree with changes that are not committed, since such a release could never
# be built again. It builds in the usual folders (build/, build-windows/,
# build/web and build-web/) through the scripts that make each download,
# which install what they need, as `scripts/setup.sh release` does for this
# script's own tools.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ -n $(git status --porcelain) ]]; then
    echo "The working tree has changes that are not committed:" >&2
    git status --short >&2
    echo "A release is built from a commit alone: commit them, or release from a fresh clone." >&2
    exit 1
fi
scripts/setup.sh release

SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
version=$(sed -n 's/^project(Tavrek VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
build_dir=${TAVREK_BUILD_DIR:-build}
web_build_dir=${TAVREK_WEB_BUILD_DIR:-build/web}
dist=$PWD/dist
rm -rf "$dist"
mkdir -p "$dist"

# Zip members in name order, dated the commit's time, 0644 or 0755, no
# owners: strip-nondeterminism, which Debian's own packages go through.
normalize_zip() {  # ZIP
    strip-nondeterminism --type zip --timestamp "$SOURCE_DATE_EPOCH" "$1" >/dev/null
}

echo "== The Debian package"
scripts/package.sh
cp "$build_dir/tavrek_${version}_$(dpkg --print-architecture).deb" "$dist/"

echo "== The Windows installers and portable zips"
TAVREK_TARGETS=windows_packages scripts/build-windows.sh
for kind in win64 win32; do
    cp "build-windows/$kind/tavrek-$version-$kind-setup.exe" "build-windows/$kind/tavrek-$version-$kind.zip" "$dist/"
    normalize_zip "$dist/tavrek-$version-$kind.zip"
done

echo "== The web page: the site and the one file"
scripts/build-web.sh
site=$(mktemp -d)
trap 'rm -rf "$site"' EXIT
cp -R build-web "$site/tavrek-$version-web"
chmod 0644 "$site/tavrek-$version-web"/*  # emscripten makes tavrek.wasm executable
(cd "$site" && zip -q -X -r "$dist/tavrek-$version-web.zip" "tavrek-$version-web")
normalize_zip "$dist/tavrek-$version-web.zip"
cp "$web_build_dir/tavrek-$version.html" "$dist/"

echo "== The source"
# git archive dates every member with the commit's time and names the
# commit in the archive; gzip -n leaves out the compressed file's own name
# and time.
git -c tar.umask=0022 archive --format=tar --prefix="tavrek-$version/" HEAD | gzip -9n >"$dist/tavrek-$version.tar.gz"

cd "$dist"
mapfile -t downloads < <(find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort)
sha256sum -- "${downloads[@]}" >SHA256SUMS
echo "== Release $version of commit $(git rev-parse --short HEAD), in dist/:"
while read -r checksum name; do
    printf '%-34s %9d bytes  sha256 %s\n' "$name" "$(stat -c %s "$name")" "$checksum"
done <SHA256SUMS
