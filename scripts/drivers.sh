#!/usr/bin/env bash
# The checks against the real Linux serial drivers (8250, ftdi_sio) in a small
# virtual machine: fetches Debian's newest 6.1 kernel package once (unpacked
# under BUILD/drivers/kernel/VERSION, never installed), then boots it with the
# native build's test programs (tests/drivers/run_guest.py), built first.
#   drivers.sh NATIVE_BUILD BUILD [PORT...]
# Fails, never skips, when the emulator or the kernel cannot be had.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1" "$2"
native=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
shift 2

[ -f "$native/CMakeCache.txt" ] || cmake -G Ninja -S "$root" -B "$native" -DVELMORANT_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$native" -j "$(nproc)" --target driver_checks serial_sim_tests velmorant-sim velmorant-demo

command -v qemu-system-x86_64 >/dev/null || { echo "drivers: qemu-system-x86_64 is missing" >&2; exit 1; }
[ -x /bin/busybox ] || { echo "drivers: /bin/busybox is missing" >&2; exit 1; }

started=$SECONDS
newest_kernel() { apt-cache search --names-only '^linux-image-6\.1\.0-[0-9]+-amd64$' | cut -d' ' -f1 | sort -V | tail -n 1; }
package=$(newest_kernel)
if [ -z "$package" ] && [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq
  package=$(newest_kernel)
fi
[ -n "$package" ] || { echo "drivers: apt-cache knows no linux-image-6.1.0-N-amd64 (apt-get update?)" >&2; exit 1; }
version=${package#linux-image-}
kernel_dir=$build/drivers/kernel/$version
if [ ! -f "$kernel_dir/boot/vmlinuz-$version" ]; then
  rm -rf "$kernel_dir" "$kernel_dir.part"
  mkdir -p "$kernel_dir.part"
  (cd "$kernel_dir.part" && apt-get download -o APT::Sandbox::User=root "$package" >/dev/null)
  dpkg-deb -x "$kernel_dir.part"/*.deb "$kernel_dir.part"
  rm "$kernel_dir.part"/*.deb
  mv "$kernel_dir.part" "$kernel_dir"
fi
echo "drivers: kernel $version ready in $((SECONDS - started)) s"

exec python3 "$root/tests/drivers/run_guest.py" "$kernel_dir/boot/vmlinuz-$version" \
  "$kernel_dir/lib/modules/$version" "$native" "$build/drivers/run" "$@"
