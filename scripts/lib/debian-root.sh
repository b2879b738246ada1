# Sourced by the scripts that run things in a fresh Debian 12 root (CI, the package test):
#   . scripts/lib/debian-root.sh
# A root is made once with debootstrap (minimal variant) and kept as a tarball in a cache
# folder beside apt's downloaded packages; every run unpacks a new copy of it, so nothing a
# run installs survives into the next.
#
# Needs root (debootstrap, chroot, mounts). Settings:
#   TAVRIN_DEBIAN_MIRROR   the Debian mirror (default http://deb.debian.org/debian)

debian_mirror=${TAVRIN_DEBIAN_MIRROR:-http://deb.debian.org/debian}
debian_suite=bookworm

# Mount points under a folder, one per line (the folder itself included when it is one).
debian_root_mounts() { # ROOTFS
  awk -v r="$1" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts
}

# The bare root as a tarball in CACHE, bootstrapped when it is missing or older than
# MAX_DAYS (so that a long-lived cache does not drift too far from what a new user gets).
# A mirror that drops a connection now and then gets one more try. Prints the tarball's path.
debian_root_tarball() { # CACHE LOG [MAX_DAYS]
  local cache=$1 log=$2 max_days=${3:-}
  local tarball=$cache/$debian_suite-minbase.tar
  if [ -s "$tarball" ] && [ -n "$max_days" ] &&
    [ -n "$(find "$tarball" -mtime +"$max_days" 2>/dev/null)" ]; then
    echo "debian-root: $tarball is older than $max_days days; bootstrapping anew" >&2
    rm -f "$tarball"
  fi
  if [ ! -s "$tarball" ]; then
    echo "debian-root: bootstrapping Debian $debian_suite (minbase) from $debian_mirror," \
      "once; kept in $tarball" >&2
    mkdir -p "$cache"
    local fresh
    fresh=$(mktemp -d "$cache/bootstrap.XXXXXX")
    local attempt ok=""
    for attempt in 1 2; do
      if timeout 1800 debootstrap --variant=minbase "$debian_suite" "$fresh" "$debian_mirror" \
        >>"$log" 2>&1; then
        ok=1
        break
      fi
      echo "debian-root: debootstrap failed (attempt $attempt; log: $log)" >&2
      rm -rf --one-file-system "$fresh" && mkdir -p "$fresh"
    done
    if [ -z "$ok" ]; then
      rm -rf --one-file-system "$fresh"
      tail -20 "$log" >&2
      return 1
    fi
    tar -C "$fresh" -cf "$tarball.part" . && mv "$tarball.part" "$tarball"
    rm -rf --one-file-system "$fresh"
  fi
  echo "$tarball"
}

# Unpacks TARBALL into ROOTFS and mounts what programs inside expect (/proc, /sys, /dev,
# /dev/pts, /dev/shm). apt's downloaded packages live in CACHE/archives, bind-mounted, so a
# later run downloads only what changed; what apt installs stays in this root alone.
debian_root_make() { # TARBALL ROOTFS CACHE
  local tarball=$1 rootfs=$2 cache=$3
  mkdir -p "$rootfs"
  tar -C "$rootfs" -xf "$tarball" || return 1
  cp /etc/resolv.conf "$rootfs/etc/resolv.conf"
  grep -qs '^127\.0\.0\.1[[:space:]].*localhost' "$rootfs/etc/hosts" ||
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost ip6-localhost ip6-loopback\n' >>"$rootfs/etc/hosts"
  echo 'Acquire::Retries "3";' >"$rootfs/etc/apt/apt.conf.d/80tavrin-retries"
  # The root is thrown away after the run: dpkg need not sync every file it unpacks, which
  # is most of the time an installation takes.
  echo force-unsafe-io >"$rootfs/etc/dpkg/dpkg.cfg.d/80tavrin-unsafe-io"
  mount -t proc proc "$rootfs/proc"
  mount -t sysfs sysfs "$rootfs/sys"
  mount --bind /dev "$rootfs/dev"
  mount --bind /dev/pts "$rootfs/dev/pts"
  mount --bind /dev/shm "$rootfs/dev/shm"
  mkdir -p "$cache/archives/partial"
  mount --bind "$cache/archives" "$rootfs/var/cache/apt/archives"
}

# The sources a Debian 12 installation has: the release, its updates and, from Debian's own
# mirror, its security updates.
debian_root_full_sources() { # ROOTFS
  local list="deb $debian_mirror $debian_suite main
deb $debian_mirror $debian_suite-updates main"
  [ "$debian_mirror" != http://deb.debian.org/debian ] ||
    list="$list
deb http://deb.debian.org/debian-security $debian_suite-security main"
  echo "$list" >"$1/etc/apt/sources.list"
}

# Ends every process whose root is ROOTFS (servers a run left behind keep mounts busy), then
# unmounts everything under it, deepest first. Returns 1 when something stays mounted.
debian_root_release() { # ROOTFS
  local rootfs=$1 pid dir m
  for dir in /proc/[0-9]*; do
    pid=${dir#/proc/}
    case "$(readlink "$dir/root" 2>/dev/null)" in
      "$rootfs" | "$rootfs"/*) kill -9 "$pid" 2>/dev/null ;;
    esac
  done
  for m in $(debian_root_mounts "$rootfs" | sort -r); do
    umount "$m" 2>/dev/null || umount -l "$m"
  done
  if [ -n "$(debian_root_mounts "$rootfs")" ]; then
    echo "debian-root: still mounted under $rootfs:" >&2
    debian_root_mounts "$rootfs" >&2
    return 1
  fi
}

# Releases ROOTFS and deletes it, never crossing into another file system; a folder that
# still holds a mount stays where it is.
debian_root_remove() { # ROOTFS
  debian_root_release "$1" && rm -rf --one-file-system "$1"
}
