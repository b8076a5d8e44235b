#!/bin/sh
# Builds the emulated x86_64 machine that runs the win32 test programs where this machine's
# kernel cannot execute 32-bit x86 programs: a Debian root with 32-bit Wine, Xvfb, Python and
# CTest, as an ext4 disk image, with the kernel and initial ram disk to boot it.
# Everything comes from Debian's packages; no loop device is needed. Run as root.
# cmake/win32_vm.py calls it and caches the result, keyed on this file's content.
#
# usage: win32_vm_image.sh OUTPUT_DIR
#   OUTPUT_DIR receives vmlinuz, initrd.img and root.ext4 (it must not exist yet).
set -eu

out=${1:?usage: $0 OUTPUT_DIR}
[ ! -e "$out" ] || { echo "$out already exists" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "making the win32 machine's image needs root (debootstrap, chroot)" >&2; exit 2; }

# What the win32 tests run inside the machine, besides the programs copied in from this one
# (the release test runs tools/make-dist.sh: CPack, strip and strip-nondeterminism).
packages="linux-image-amd64 wine wine32:i386 xvfb xauth x11-utils socat python3 cmake
  binutils-mingw-w64-i686 strip-nondeterminism procps iproute2"
# shellcheck disable=SC2086 # one line, for the command below
packages=$(echo $packages)

# The first mirror of this machine's apt that debootstrap can read too (not the security
# archive, not apt's own mirror+file: lists); without one, debootstrap takes its default. No
# address is written here: where packages come from is the machine's setting.
mirror=$(cat /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list 2>/dev/null | awk '
  /^URIs:/ || /^deb[ \t]/ {
    for (i = 2; i <= NF; i++) if ($i ~ /^(https?|ftp|file):/ && $i !~ /security/) { print $i; exit }
  }' || true)

work=$out.partial
root=$work/root
unmount_all() {
  for mount in dev/pts dev proc; do umount "$root/$mount" 2>/dev/null || true; done
}
trap 'unmount_all; rm -rf "$work"' EXIT
rm -rf "$work"
mkdir -p "$work"

set -- bookworm "$root"
if [ -n "$mirror" ]; then
  set -- "$@" "$mirror"
  echo "win32 machine: debootstrap into $root (from $mirror)"
else
  echo "win32 machine: debootstrap into $root (from the default mirror of debootstrap)"
fi
debootstrap --variant=minbase --arch=amd64 "$@" >"$work/debootstrap.log" 2>&1 || {
  tail -n 20 "$work/debootstrap.log" >&2
  exit 1
}
# debootstrap's own list names the release's main suite alone: kept for a second try.
cp "$root/etc/apt/sources.list" "$work/main-suite.list"
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/"
  rm -f "$root/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
for mount in proc dev dev/pts; do mount --bind "/$mount" "$root/$mount"; done

# Loaded by the initial ram disk: the disk, and the 9p shares the job and the copies come from.
mkdir -p "$root/usr/share/initramfs-tools/modules.d"
printf '%s\n' virtio_pci virtio_blk ext4 9pnet_virtio 9p >"$root/usr/share/initramfs-tools/modules.d/lamdex-test"

# A failed index (an archive caught mid-sync) is no reason to stop: apt goes on with the
# indexes it has. The install itself must succeed.
install_packages() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive sh -c "
    dpkg --add-architecture i386
    apt-get update -q || echo 'win32 machine: apt-get update failed; going on with the indexes it has'
    apt-get install -y -q --no-install-recommends -o Dpkg::Options::=--force-unsafe-io $packages &&
    apt-get clean" >"$work/install.log" 2>&1
}
echo "win32 machine: installing $packages"
if ! install_packages; then
  # With the machine's sources, the amd64 and i386 copies of a library can come from suites
  # that are a day apart, which apt will not mix. This machine serves nothing and lives for
  # one test run, so the release's main suite alone, one consistent set, does.
  echo "win32 machine: the install failed ($(grep -m 1 -E '^E:' "$work/install.log" | cut -c 1-200)); trying again from the release's main suite alone"
  rm -f "$root/etc/apt/sources.list.d/debian.sources"
  cp "$work/main-suite.list" "$root/etc/apt/sources.list"
  rm -rf "$root/var/lib/apt/lists"/*
  install_packages || {
    tail -n 30 "$work/install.log" >&2
    exit 1
  }
fi
unmount_all
rm -rf "$root/var/lib/apt/lists"/* "$root/usr/share/doc" "$root/usr/share/man" "$root/usr/share/locale"
echo lamdex-test >"$root/etc/hostname"
printf '127.0.0.1 localhost\n127.0.1.1 lamdex-test\n' >"$root/etc/hosts"

# The machine's first process: mounts what it needs and the job folder the host shares
# (tag "job"), runs the job's script, then powers off. There is no service manager.
cat >"$root/sbin/lamdex-guest-init" <<'EOF'
#!/bin/sh
PATH=/usr/sbin:/usr/bin:/sbin:/bin
export PATH
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sys /sys
mountpoint -q /dev || mount -t devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm /job
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 shm /dev/shm
mount -t tmpfs -o mode=1777 tmp /tmp
mountpoint -q /run || mount -t tmpfs -o mode=755 run /run
hostname lamdex-test
ip link set lo up 2>/dev/null || true
if mount -t 9p -o trans=virtio,version=9p2000.L job /job; then
  sh /job/run.sh
else
  echo "lamdex-guest-init: the job folder (9p tag job) is missing"
fi
sync
echo o >/proc/sysrq-trigger
sleep 30
EOF
chmod 755 "$root/sbin/lamdex-guest-init"

kernel=$(ls "$root"/boot/vmlinuz-* | head -n 1)
initrd=$(ls "$root"/boot/initrd.img-* | head -n 1)
cp "$kernel" "$work/vmlinuz"
cp "$initrd" "$work/initrd.img"

# The disk, made from the folder, with room to spare: the tests write into memory.
size_mib=$(($(du -sm "$root" | cut -f1) + 512))
truncate -s "${size_mib}M" "$work/root.ext4"
mkfs.ext4 -q -F -L lamdex-test -d "$root" "$work/root.ext4"
rm -rf "$root" "$work"/*.log
trap - EXIT
mv "$work" "$out"
echo "win32 machine: image ready in $out (${size_mib} MiB disk)"
