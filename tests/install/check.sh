#!/usr/bin/env bash
# Installs the built programs into a temporary prefix and unpacks the Debian package built from
# them into a temporary root; in each, checks the files and runs the installed program: its
# version, a batch start-up on sample quotes with a 5-minute forecast (the catalog is found in
# share/velkor, there is no copy beside the program), and the JSON page of that forecast.
# Usage: check.sh BUILD_DIR
set -euo pipefail
build="$(cd "$1" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

fail() { echo "install check: $*" >&2; exit 1; }

# check_tree NAME PREFIX: the installed files under PREFIX, and a run of its velkor.
check_tree() {
  local name="$1" prefix="$2"
  local bin="$prefix/bin" share="$prefix/share"
  local files=(bin/velkor bin/velkor-sample share/velkor/catalog/tbl.csv share/velkor/catalog/tblstrc.csv
               share/applications/velkor.desktop share/icons/hicolor/scalable/apps/velkor.svg
               lib/systemd/user/velkor-daily.service lib/systemd/user/velkor-daily.timer)
  if [ -e "$build/velkor-quotes" ]; then files+=(bin/velkor-quotes); fi
  for f in "${files[@]}"; do [ -e "$prefix/$f" ] || fail "$name: $f is missing"; done
  [ ! -e "$bin/catalog" ] || fail "$name: a catalog beside the program would hide the one in share/velkor"
  desktop-file-validate "$share/applications/velkor.desktop" || fail "$name: the desktop entry is not valid"
  "$bin/velkor" --version | grep -q '^velkor [0-9]' || fail "$name: velkor --version"

  local wd="$tmp/$name/wd" quotes="$tmp/$name/quotes"
  mkdir -p "$wd"
  printf '\xEF\xBB\xBF%s\r\n' a,5,3 b,20,3 c,80,3 > "$wd/cini.txt"
  "$bin/velkor-sample" --out "$quotes" --end 2024-03-13 --days5 6 --days30 20 --days4h 80 >/dev/null
  "$bin/velkor" --batch --workdir "$wd" --data-dir "$quotes" --today 2024-03-13 --seed 1 forecast 5 \
      > "$tmp/$name/run.txt" 2>&1 || fail "$name: the batch run failed: $(cat "$tmp/$name/run.txt")"
  grep -q 'AAATBN, AAATST' "$tmp/$name/run.txt" || fail "$name: the catalog was not loaded"
  "$bin/velkor" --batch --json --workdir "$wd" --today 2024-03-13 show 5 > "$tmp/$name/show.json" \
      2> "$tmp/$name/show.err" || fail "$name: the JSON run failed: $(cat "$tmp/$name/show.err")"
  grep -q '"number": 1,' "$tmp/$name/show.json" || fail "$name: no stored run: $(cat "$tmp/$name/show.json")"
  echo "install check: $name: ok"
}

cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
check_tree prefix "$tmp/prefix"

cpack --config "$build/CPackConfig.cmake" -B "$tmp/pkg" > "$tmp/cpack.log" 2>&1 || fail "cpack: $(cat "$tmp/cpack.log")"
deb="$(ls "$tmp"/pkg/velkor_*.deb)"
dpkg-deb -x "$deb" "$tmp/root"
check_tree package "$tmp/root/usr"
depends="$(dpkg-deb -f "$deb" Depends)"
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6charts6 libsqlite3-0 libfann2 fonts-ipafont-gothic; do
  case ", $depends," in *", $p,"* | *", $p "*) ;; *) fail "package: Depends lacks $p: $depends" ;; esac
done
echo "install check: package Depends: $depends"
