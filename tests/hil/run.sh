#!/usr/bin/env bash
# Hardware in the loop: boots Debian's kernel under qemu-system-x86_64 (TCG, no KVM) with
# a busybox initramfs holding the USB/IP and USB audio modules, the tool, the simulator
# and their libraries; inside, the simulated chip is attached to the kernel's virtual
# host controller over USB/IP and the tool programs it through the real libusb backend
# (tests/hil/guest.sh says what is checked).
#
#   tests/hil/run.sh [BUILD_DIR]       (default: build)
#
# The kernel package is fetched once with apt-get download into the cache folder
# ($VANTOR_HIL_CACHE, default BUILD_DIR/hil-cache). Skipped, with a message, only where
# qemu-system-x86_64 cannot run. Ends with "N passed, M failed" and exit code 0 or 1.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
cache=${VANTOR_HIL_CACHE:-$build/hil-cache}
timeout_s=${VANTOR_HIL_TIMEOUT:-900}

if ! command -v qemu-system-x86_64 >/dev/null || ! qemu-system-x86_64 -version >/dev/null 2>&1; then
  echo "HIL skipped: qemu-system-x86_64 cannot run here (install qemu-system-x86)"
  exit 0
fi
for tool in busybox gzip ldd; do
  command -v "$tool" >/dev/null || { echo "HIL: $tool is missing" >&2; exit 1; }
done
busybox_bin=$(command -v busybox)
file_type=$(LC_ALL=C ldd "$busybox_bin" 2>&1 || true)
if [[ $file_type != *"not a dynamic"* ]]; then
  echo "HIL: $busybox_bin is not statically linked (install busybox-static)" >&2
  exit 1
fi

# ---- the kernel: Debian's linux-image-amd64, unpacked once
mkdir -p "$cache"
kernel_dir=$cache/kernel
if [ ! -d "$kernel_dir/boot" ]; then
  pkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ { print $2; exit }')
  [ -n "$pkg" ] || { echo "HIL: apt-cache knows no linux-image-amd64 (apt-get update first)" >&2; exit 1; }
  ls "$cache"/"$pkg"_*.deb >/dev/null 2>&1 || (cd "$cache" && apt-get download "$pkg" >/dev/null 2>&1)
  rm -rf "$kernel_dir.tmp"
  dpkg -x "$cache"/"$pkg"_*.deb "$kernel_dir.tmp"
  mv "$kernel_dir.tmp" "$kernel_dir"
fi
vmlinuz=$(ls "$kernel_dir"/boot/vmlinuz-* | head -n 1)
modules=$(ls -d "$kernel_dir"/lib/modules/* | head -n 1)

# ---- the initramfs
work=$(mktemp -d "${TMPDIR:-/tmp}/vantor-hil.XXXXXX")
trap 'rm -rf "$work"' EXIT
rd=$work/root
mkdir -p "$rd"/{bin,dev,proc,sys,tmp,etc,lib/modules,opt/vantor,lib64}
cp "$busybox_bin" "$rd/bin/busybox"
for applet in $("$busybox_bin" --list); do
  [ -e "$rd/bin/$applet" ] || ln -s busybox "$rd/bin/$applet"
done

# Modules in load order: each after the modules its depends= names (no modules.dep).
declare -A module_file loaded
while IFS= read -r f; do
  name=$(basename "$f"); name=${name%%.ko*}; module_file[${name//-/_}]=$f
done < <(find "$modules/kernel" -name '*.ko*')
order=()
add_module() {
  local key=${1//-/_} deps dep
  [ -n "${loaded[$key]:-}" ] && return 0
  [ -n "${module_file[$key]:-}" ] || { echo "HIL: module $1 is not in the kernel package" >&2; exit 1; }
  loaded[$key]=1
  deps=$(tr '\0' '\n' < "${module_file[$key]}" | sed -n 's/^depends=//p' | head -n 1)
  for dep in ${deps//,/ }; do add_module "$dep"; done
  order+=("$key")
}
for m in vhci-hcd snd-usb-audio; do add_module "$m"; done
: > "$rd/etc/modules"
for key in "${order[@]}"; do
  cp "${module_file[$key]}" "$rd/lib/modules/"
  basename "${module_file[$key]}" >> "$rd/etc/modules"
done

# The programs and the shared libraries they need.
for prog in vantorfw vantorfw-sim tests/test_hil; do
  [ -x "$build/$prog" ] || { echo "HIL: $build/$prog is missing (build first)" >&2; exit 1; }
  cp "$build/$prog" "$rd/opt/vantor/"
  for lib in $(ldd "$build/$prog" | awk '/=> \// { print $3 } /^\t\/lib/ { print $1 }'); do
    mkdir -p "$rd$(dirname "$lib")"
    cp -L "$lib" "$rd$lib"
  done
done
[ -d "$build/samples" ] && cp -r "$build/samples" "$rd/opt/vantor/samples"
cp "$here/guest.sh" "$rd/init"
chmod +x "$rd/init"
printf 'root:x:0:0:root:/:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n' > "$rd/etc/passwd"
printf 'root:x:0:\ntester:x:1000:\n' > "$rd/etc/group"
(cd "$rd" && find . | "$busybox_bin" cpio -o -H newc 2>/dev/null | gzip -1) > "$work/initrd.gz"

# ---- boot
log=$build/hil-console.log
echo "HIL: booting $(basename "$vmlinuz") under qemu (TCG); console in $log"
start=$(date +%s)
status=0
timeout "$timeout_s" qemu-system-x86_64 -machine q35 -accel tcg -m 512 -nographic -no-reboot \
  -kernel "$vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 panic=-1 quiet" > "$log" 2>&1 || status=$?
echo "HIL: qemu ran $(( $(date +%s) - start )) s (exit $status)"
grep -E '^(HIL|PASS|FAIL|  )' "$log" | sed 's/\r$//' || true
result=$(sed 's/\r$//' "$log" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n 1 || true)
if [ -z "$result" ]; then
  echo "HIL: the guest did not finish (see $log)" >&2
  tail -n 30 "$log" >&2
  exit 1
fi
echo "hil: $result"
[[ $result == *" 0 failed" ]]
