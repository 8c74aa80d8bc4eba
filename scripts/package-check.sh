#!/usr/bin/env bash
# package-check.sh [BUILD]: builds the Debian packages, checks them (lintian, no file
# in two packages, dependencies, RUNPATHs), unpacks them into a scratch root and,
# with the build folder out of reach, runs from that root one upload, one office
# import and one browser-bridge session against the installed tessarix-cms.
# Prints "N passed, M failed"; exits 1 when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
src="$(pwd)"
build="$(cd "${1:-build}" && pwd)"
scratch="$(mktemp -d /tmp/tessarix-package.XXXXXX)"
trap 'rm -rf "$scratch"' EXIT
passed=0 failed=0
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }
finish() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit; }

# --- the packages ---------------------------------------------------------------
rm -rf "$build/packages"
if ! cmake --build "$build" --target package >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack"
  finish
fi
debs=("$build"/packages/*.deb)
names="$(for d in "${debs[@]}"; do dpkg-deb -f "$d" Package; done | sort | tr '\n' ' ')"
[ "$names" = "tessarix tessarix-cms tessarix-office " ] && pass "three packages: $names" || fail "packages: $names"
version="$(sed -n 's/^project(Tessarix VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")"
for d in "${debs[@]}"; do
  [ "$(dpkg-deb -f "$d" Version)" = "$version" ] || fail "$(basename "$d") is not version $version"
done

if lintian --fail-on error "${debs[@]}" >"$scratch/lintian.log" 2>&1; then
  pass "lintian: no errors"
else
  fail "lintian"
fi
grep -E '^[EW]:' "$scratch/lintian.log" >&2

dups="$(for d in "${debs[@]}"; do dpkg-deb -c "$d" | grep -v '^d' | awk '{print $6}'; done | sort | uniq -d)"
[ -z "$dups" ] && pass "no file in two packages" || fail "in two packages: $dups"

deb() { printf '%s\n' "${debs[@]}" | grep "/$1_"; }
t_depends="$(dpkg-deb -f "$(deb tessarix)" Depends)"
o_depends="$(dpkg-deb -f "$(deb tessarix-office)" Depends)"
if [[ "$t_depends" == *libqt6widgets6* && "$t_depends" == *qt6-translations-l10n* && ! "$t_depends" =~ libreoffice|uno ]] &&
   [[ "$(dpkg-deb -f "$(deb tessarix)" Recommends)" == *tessarix-office* ]] &&
   [[ "$o_depends" == *"tessarix (= $version)"* && "$o_depends" == *libreoffice-writer* &&
      "$o_depends" == *libreoffice-calc* && "$o_depends" == *libreoffice-impress* && "$o_depends" == *libuno-cppu3* ]] &&
   [[ "$(dpkg-deb -f "$(deb tessarix-office)" Recommends)" == *fonts-liberation2*fonts-crosextra-carlito* ]]; then
  pass "dependencies"
else
  fail "dependencies: tessarix: $t_depends; tessarix-office: $o_depends"
fi

# --- the scratch root -------------------------------------------------------------
root="$scratch/root"
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$root"; done
bad=""
while IFS= read -r f; do
  file -b "$f" | grep -q '^ELF' || continue
  rp="$(readelf -d "$f" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p;s/.*(RPATH).*\[\(.*\)\]/RPATH \1/p')"
  IFS=: read -ra entries <<<"$rp"
  for e in "${entries[@]}"; do
    case "$e" in
      '$ORIGIN'|'$ORIGIN/'*) ;;
      /usr/lib/libreoffice/program) [[ "$f" == */libtessarix-office-lo.so ]] || bad+=" $f:$e" ;;
      *) bad+=" $f:$e" ;;
    esac
  done
done < <(find "$root" -type f)
[ -z "$bad" ] && pass "RUNPATHs relative to \$ORIGIN" || fail "RUNPATHs:$bad"
grep -qx "ExecStart=/usr/bin/tessarix serve --if-not-running" "$root/usr/lib/systemd/user/tessarix-bridge.service" &&
  grep -qx "Exec=/usr/bin/tessarix serve --if-not-running" "$root/etc/xdg/autostart/tessarix-bridge.desktop" &&
  pass "unit and autostart entry" || fail "unit or autostart entry"

# The same tree from source, to a prefix of its own.
prefix="$scratch/prefix"
if cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 &&
   grep -qx "ExecStart=$prefix/bin/tessarix serve --if-not-running" "$prefix/lib/systemd/user/tessarix-bridge.service" &&
   grep -qx "Exec=$prefix/bin/tessarix serve --if-not-running" "$prefix/etc/xdg/autostart/tessarix-bridge.desktop"; then
  pass "cmake --install --prefix: session files name the prefix"
else
  cat "$scratch/install.log" >&2; fail "cmake --install --prefix"
fi

# The programs from the root, reached through a folder of links as the tests expect
# it; the sample maker is a test tool, copied before the build folder goes away.
bin="$scratch/bin"
mkdir -p "$bin"
ln -s "$root/usr/bin/tessarix" "$root/usr/bin/tessarix-cms" "$bin/"
cp "$build/bin/tessarix-samples" "$bin/"

# --- from the root, the build folder out of reach -------------------------------------
# A private mount namespace puts an empty folder over the build; where that is not
# allowed the build folder is moved aside until the stage ends.
cat >"$scratch/installed.sh" <<'EOF'
set -uo pipefail
src="$1" build="$2" bin="$3" root="$4" version="$5" home="$6" counts="$7" prefix="$8"
passed=0 failed=0
trap 'echo "$passed $failed" >"$counts"' EXIT
pass() { echo "ok: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*" >&2; failed=$((failed + 1)); }
[ -z "$(ls -A "$build" 2>/dev/null)" ] || { fail "the build folder is still there"; exit; }
# A home of its own: no registration, trust or office profile of the machine's user.
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_STATE_HOME="$home/.local/state"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$home"
[ "$("$bin/tessarix" --version)" = "tessarix $version" ] &&
  [ "$("$bin/tessarix-cms" --version)" = "tessarix-cms $version" ] && pass "--version" || fail "--version"
[ -z "$("$bin/tessarix" trust --list 2>&1)" ] && pass "a fresh install trusts no origin" || fail "trusted origins in a fresh home"
"$prefix/bin/tessarix" run "$prefix/share/doc/tessarix/examples/members.js" | grep "Tessarix5.Helper" >/dev/null &&
  [ "$("$prefix/bin/tessarix-cms" --version)" = "tessarix-cms $version" ] &&
  pass "installed to a prefix: run" || fail "installed to a prefix: run"
# An office instance of the stage's own, started from the installed module and
# ended with the stage (found by its pipe's name, ended by its id).
export TESSARIX_OFFICE_INSTANCE="tessarix-package-$$"
trap 'echo "$passed $failed" >"$counts"
      for pid in $(pgrep -f "name=$TESSARIX_OFFICE_INSTANCE-" || true); do kill "$pid" 2>/dev/null; done' EXIT
# Unregistered: the host and the worker find the component in the installed tree.
for c in fileupload office; do
  if TESSARIX_OFFICE_PRESTART=0 bash "$src/tests/e2e/e2e.sh" "$bin" "$c" >"$home/$c.log" 2>&1; then
    pass "installed: $c (tessarix run)"
  else
    cat "$home/$c.log" >&2; fail "installed: $c (tessarix run)"
  fi
done
if node "$src/tests/browser/run.mjs" session "$bin" "$src/tests/e2e/make_samples.sh" >"$home/session.log" 2>&1; then
  pass "installed: bridge session (tessarix serve)"
else
  cat "$home/session.log" >&2; fail "installed: bridge session (tessarix serve)"
fi
# Registered, the registry names the installed component.
lib="$(ls "$root"/usr/lib/*/tessarix/libPelliform.so)"
if "$bin/tessarix" register >/dev/null && grep -qF "$lib" "$XDG_CONFIG_HOME/tessarix/registry.json" &&
   "$bin/tessarix" run "$root/usr/share/doc/tessarix/examples/members.js" | grep "Tessarix5.FileUpload" >/dev/null &&
   "$bin/tessarix" unregister >/dev/null; then
  pass "installed: register, run, unregister"
else
  fail "installed: register, run, unregister"
fi
EOF
home="$scratch/home"
args=("$src" "$build" "$bin" "$root" "$version" "$home" "$scratch/counts" "$prefix")
if unshare --mount --propagation private true 2>/dev/null; then
  unshare --mount --propagation private bash -c 'mount -t tmpfs -o size=1m,mode=0755 none "$1" && shift && bash "$@"' \
    _ "$build" "$scratch/installed.sh" "${args[@]}"
else
  aside="$build.package-check.$$"
  # Set before the move, so an interrupt between the two still puts the build back;
  # whatever the stage left in the empty stand-in goes with the scratch folder.
  trap '[ -d "$aside" ] && { rmdir "$build" 2>/dev/null || mv "$build" "$scratch/stand-in"; mv "$aside" "$build"; }
        rm -rf "$scratch"' EXIT
  mv "$build" "$aside" && mkdir "$build"
  bash "$scratch/installed.sh" "${args[@]}"
fi
if read -r p f <"$scratch/counts" 2>/dev/null; then
  passed=$((passed + p)) failed=$((failed + f))
else
  fail "the stage from the scratch root did not run (the build folder could not be hidden?)"
fi
finish
