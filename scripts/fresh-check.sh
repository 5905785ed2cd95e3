#!/usr/bin/env bash
# Runs the test command as a newcomer would: in a fresh Debian 12 (bookworm, minbase) root with
# nothing installed but git, on a clone of the committed checkout (HEAD; uncommitted changes are
# not seen), with a clean environment. Prints the suite's result line and how long it took.
#
#   sudo scripts/fresh-check.sh [--deb [PACKAGE.deb] | --root-only]
#
# --root-only: only make the cached pristine root (see below) and stop.
# --deb: instead of the test command, build the Debian package there, install it with apt in a
# second pristine root, render an installed example from PATH, ask xdg-mime for the song type and
# check that removing the package leaves none of its files behind. With a PACKAGE.deb that one is
# checked instead, without building.
#
# The pristine root is made once with debootstrap (installed when missing) from the machine's own
# Debian mirror and kept as a tarball in $BF_FRESH_CACHE (default /var/cache/bleepforge-fresh);
# delete the tarball to make a new one. Every run unpacks it into a new folder under /var/tmp and
# removes that folder (and every mount inside it) at the end, also when interrupted;
# BF_FRESH_KEEP=1 keeps the folder. BF_JOBS passes through to the test command.
set -euo pipefail

mode=suite
given=""
case "${1:-}" in
  "") ;;
  --deb) mode=deb; given=${2:+$(realpath "$2")} ;;
  --root-only) mode=root ;;
  *) echo "usage: $0 [--deb [PACKAGE.deb] | --root-only]" >&2; exit 2 ;;
esac

if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-check.sh needs root (debootstrap, chroot and mounts): run it with sudo" >&2
  exit 2
fi

checkout=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$checkout" rev-parse HEAD)
cache=${BF_FRESH_CACHE:-/var/cache/bleepforge-fresh}
tarball=$cache/bookworm-minbase.tar
mkdir -p "$cache"

# The first Debian archive this machine's apt uses (deb822 or one-line form), else the default.
mirror() {
  local m
  m=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
        2>/dev/null | grep -v -- '-security' |
      sed -nE 's/^URIs:[[:space:]]*([^[:space:]]+).*/\1/p; s/^deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/p' |
      head -n 1 || true)
  echo "${m:-http://deb.debian.org/debian}"
}

work=""
mounted=()
cleanup() {
  local rc=$? i
  trap - EXIT INT TERM
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}" 2>/dev/null || true
  done
  if [ -n "$work" ] && [ -d "$work" ]; then
    if grep -q " $work/" /proc/mounts; then
      echo "fresh-check: mounts remain under $work; not removing it" >&2
    elif [ "${BF_FRESH_KEEP:-}" = 1 ]; then
      echo "fresh-check: kept $work"
    else
      rm -rf "$work"
    fi
  fi
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ ! -f "$tarball" ]; then
  if ! command -v debootstrap >/dev/null; then
    echo "Installing debootstrap"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
  fi
  work=$(mktemp -d /var/tmp/bleepforge-fresh.XXXXXX)
  # A system's root folder is world-traversable; mktemp's 0700 would lock every user but root out.
  chmod 0755 "$work"
  echo "Making a pristine bookworm root from $(mirror) (once; cached in $tarball)"
  debootstrap --variant=minbase bookworm "$work/root" "$(mirror)" >"$work/debootstrap.log" 2>&1 || {
    tail -n 30 "$work/debootstrap.log"; exit 1; }
  chmod 0755 "$work/root"
  tar --numeric-owner -C "$work/root" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
  rm -rf "$work"
  work=""
fi
if [ $mode = root ]; then echo "Pristine root: $tarball"; exit 0; fi

work=$(mktemp -d /var/tmp/bleepforge-fresh.XXXXXX)
chmod 0755 "$work"

# new_root DIR: unpacks the pristine root into DIR and mounts what programs expect there.
new_root() {
  local r=$1
  mkdir -p "$r"
  chmod 0755 "$r"
  tar --numeric-owner -C "$r" -xf "$tarball"
  cp /etc/resolv.conf "$r/etc/resolv.conf"
  mount -t proc proc "$r/proc" && mounted+=("$r/proc")
  mount -t sysfs sys "$r/sys" && mounted+=("$r/sys")
  mount --bind /dev "$r/dev" && mounted+=("$r/dev")
  mount --bind /dev/pts "$r/dev/pts" && mounted+=("$r/dev/pts")
  mount -t tmpfs -o mode=1777 shm "$r/dev/shm" && mounted+=("$r/dev/shm")
}

# inside DIR COMMAND: runs a shell command in the root DIR with a clean environment.
inside() {
  chroot "$1" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive ${BF_JOBS:+BF_JOBS=$BF_JOBS} \
    bash -c "$2"
}

root=$work/root
if [ -z "$given" ]; then
  new_root "$root"
  echo "Installing git in the fresh root"
  inside "$root" "apt-get update -qq && apt-get install -y -qq --no-install-recommends git >/dev/null"
  git clone -q --no-checkout "$checkout" "$root/root/bleepforge"
  git -C "$root/root/bleepforge" checkout -q --detach "$commit"
fi
log=$cache/fresh-check-$(date -u +%Y%m%d-%H%M%S).log
start=$SECONDS

if [ $mode = suite ]; then
  echo "Running the test command on $commit (log: $log)"
  rc=0
  inside "$root" "cd /root/bleepforge && bash .ci/run" >"$log" 2>&1 || rc=$?
  result=$(grep -E '^tests: [0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1 || true)
  elapsed=$((SECONDS - start))
  echo "${result:-no result line (exit code $rc); see $log}"
  printf 'fresh-check: exit code %d after %dm%02ds\n' "$rc" $((elapsed / 60)) $((elapsed % 60))
  exit "$rc"
fi

# --deb: the package is built in one fresh root and installed in another.
if [ -n "$given" ]; then
  deb=$given
  echo "Checking $deb (log: $log)"
else
  echo "Building the package on $commit (log: $log)"
  inside "$root" "cd /root/bleepforge && bash scripts/deps.sh &&
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build build && (cd build && cpack -G DEB)" >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
  deb=$(ls "$root"/root/bleepforge/build/bleepforge_*.deb | head -n 1)
fi
clean=$work/clean
new_root "$clean"
cp "$deb" "$clean/tmp/"
name=${deb##*/}
fail=0
step() {  # step TEXT COMMAND
  if inside "$clean" "$2" >>"$log" 2>&1; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi
}
step "apt installs the package" "apt-get update -qq && apt-get install -y -qq ./tmp/$name"
step "bleepforge-cli renders an installed example from PATH" \
  "cd /tmp && bleepforge-cli render /usr/share/bleepforge/examples/demo.zcm out.wav && test -s out.wav"
step "xdg-mime names the song type" \
  "apt-get install -y -qq --no-install-recommends xdg-utils libfile-mimeinfo-perl >/dev/null &&
   cp /usr/share/bleepforge/examples/demo.zcm /tmp/a.zcm &&
   test \"\$(xdg-mime query filetype /tmp/a.zcm)\" = application/x-bleepforge-song"
step "apt removes the package" "apt-get remove -y -qq --purge bleepforge && apt-get autoremove -y -qq --purge"
left=$(find "$clean/usr" "$clean/etc" "$clean/var/lib/dpkg/info" -xdev -name '*bleepforge*' 2>/dev/null || true)
if [ -z "$left" ]; then echo "ok: nothing of the package is left"; else
  echo "FAILED: left behind after removal:"; sed -n 1,20p <<<"$left"; fail=1; fi
elapsed=$((SECONDS - start))
printf 'fresh-check --deb: %s after %dm%02ds\n' "$([ $fail = 0 ] && echo passed || echo FAILED)" \
  $((elapsed / 60)) $((elapsed % 60))
exit $fail
