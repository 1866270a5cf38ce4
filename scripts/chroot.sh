# Helpers for the scripts that work in a Debian chroot of their own
# (scripts/fresh-check, scripts/package --arch): sourced, not run.  Needs
# root, debootstrap and the host's apt sources for the mirror.
#
# Chroots live under $VDMQ_CHROOTS (default /work/chroots), never in the
# tree; debootstrap keeps the packages it fetched in $VDMQ_CHROOTS/cache so
# that a second chroot of a release is made without downloading them again.

chroots="${VDMQ_CHROOTS:-/work/chroots}"

# The Debian mirror the host's apt uses (VDMQ_MIRROR overrides it).
chroot_mirror() {
  if [ -n "${VDMQ_MIRROR:-}" ]; then echo "$VDMQ_MIRROR"; return; fi
  local m
  m="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
       grep -oE '(https?|file):[^ ]*/debian/?( |$)' | grep -v security | head -n 1 | tr -d ' ')"
  echo "${m:-http://deb.debian.org/debian}"
}

# chroot_make RELEASE DIR: a new chroot of RELEASE in DIR (an old one there
# is removed first).  Services are not started by package installs inside
# it (policy-rc.d), as no init system runs there; the scripts start what
# they need themselves.
chroot_make() {
  local release="$1" dir="$2"
  chroot_release "$dir"
  rm -rf --one-file-system "$dir"
  mkdir -p "$chroots/cache/$release"
  echo "chroot: debootstrap $release into $dir from $(chroot_mirror)"
  nice -n 10 debootstrap --cache-dir="$chroots/cache/$release" "$release" "$dir" "$(chroot_mirror)" \
    >"$dir.debootstrap.log" 2>&1 || { tail -n 20 "$dir.debootstrap.log" >&2; return 1; }
  printf '#!/bin/sh\nexit 101\n' >"$dir/usr/sbin/policy-rc.d"
  chmod 755 "$dir/usr/sbin/policy-rc.d"
  cp /etc/resolv.conf "$dir/etc/resolv.conf" 2>/dev/null || true
}

# chroot_mount DIR: the kernel's file systems inside DIR.
chroot_mount() {
  local dir="$1"
  mountpoint -q "$dir/proc" || mount -t proc proc "$dir/proc"
  mountpoint -q "$dir/sys" || mount -t sysfs sysfs "$dir/sys"
  mountpoint -q "$dir/dev" || mount --bind /dev "$dir/dev"
  mountpoint -q "$dir/dev/pts" || mount --bind /dev/pts "$dir/dev/pts"
  mountpoint -q "$dir/dev/shm" || mount -t tmpfs shm "$dir/dev/shm"
}

# chroot_release DIR: ends every process still running inside DIR (a CUPS
# daemon, an X server left by a test), each by its own id, then unmounts
# what chroot_mount mounted.
chroot_release() {
  local dir="$1" p root
  [ -d "$dir" ] || return 0
  dir="$(cd "$dir" && pwd -P)"
  for sig in TERM KILL; do
    for p in /proc/[0-9]*; do
      root="$(readlink "$p/root" 2>/dev/null)" || continue
      [ "$root" = "$dir" ] && kill -s "$sig" "${p#/proc/}" 2>/dev/null
    done
    sleep 1
  done
  for m in dev/shm dev/pts dev sys proc; do
    mountpoint -q "$dir/$m" && umount "$dir/$m"
  done
  return 0
}

# chroot_run DIR COMMAND...: runs COMMAND as root inside DIR with a plain
# environment, as a login on a fresh machine would have it, at low
# priority and with two build jobs (the machine is shared).
chroot_run() {
  local dir="$1"
  shift
  nice -n 10 chroot "$dir" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    DEBIAN_FRONTEND=noninteractive CMAKE_BUILD_PARALLEL_LEVEL="${VDMQ_JOBS:-2}" "$@"
}
