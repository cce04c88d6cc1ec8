#!/bin/sh
# The init of the HIL guest (see run.sh): loads the modules, attaches simulated chips to
# vhci-hcd with `vantorfw-sim usbip`, runs the tool through the real libusb backend and
# prints one PASS or FAIL line per check, then "N passed, M failed", and powers off.
export PATH=/bin:/opt/vantor
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mkdir -p /dev/shm
mount -t tmpfs tmpfs /dev/shm
for m in $(cat /etc/modules); do
  insmod "/lib/modules/$m" || echo "HIL: insmod $m failed"
done
echo "HIL: kernel $(uname -r), modules loaded"
cd /opt/vantor
chmod 777 /opt/vantor

passed=0
failed=0
check() {
  name=$1
  shift
  if "$@"; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    failed=$((failed + 1))
  fi
}

# The sysfs directory of the simulated device.
device_dir() {
  for d in /sys/bus/usb/devices/*; do
    [ "$(cat "$d/idVendor" 2>/dev/null)" = 3a4b ] && { echo "$d"; return 0; }
  done
  return 1
}
audio_driver() {
  d=$(device_dir) || return 1
  basename "$(readlink "$d/$(basename "$d"):1.0/driver")"
}
wait_device() {
  i=0
  while [ $i -lt 150 ]; do
    d=$(device_dir) && [ -e "$d/$(basename "$d"):1.0" ] && { sleep 0.5; return 0; }
    sleep 0.2
    i=$((i + 1))
  done
  return 1
}
wait_gone() {
  i=0
  while device_dir >/dev/null && [ $i -lt 100 ]; do sleep 0.2; i=$((i + 1)); done
}

# A fresh simulated-device directory: flash-old with the devices.ini lines given.
make_bus() {
  bus=$1
  rm -rf "$bus"
  vantorfw-sim init "$bus" flash-old >/dev/null
  shift
  for line in "$@"; do echo "$line" >> "$bus/devices.ini"; done
}
start_sim() {
  vantorfw-sim usbip "$1" > /tmp/sim.log 2>&1 &
  sim=$!
  wait_device
}
stop_sim() {
  kill "$sim" 2>/dev/null
  wait "$sim" 2>/dev/null
  wait_gone
}

# The tool through the kernel (trace on standard error) and, for comparison, the same
# run against a simulated-bus copy of the device.
tool() {
  n=$1
  shift
  start=$(date +%s)
  VANTOR_TRACE=1 timeout 300 ./vantorfw "$@" > "/tmp/$n.out" 2> "/tmp/$n.trace"
  echo $? > "/tmp/$n.rc"
  echo $(( $(date +%s) - start )) > "/tmp/$n.seconds"
}
sim_tool() {
  n=$1
  d=$2
  shift 2
  VANTOR_SIM=$d timeout 300 ./vantorfw "$@" > "/tmp/$n.out" 2>/dev/null
  echo $? > "/tmp/$n.rc"
}
show() {
  echo "  $1 (exit $(cat "/tmp/$1.rc")):"
  sed 's/^/    /' "/tmp/$1.out"
}
same_run() {
  cmp -s "/tmp/$1.out" "/tmp/$2.out" && cmp -s "/tmp/$1.rc" "/tmp/$2.rc" && return 0
  show "$1"
  show "$2"
  return 1
}
has() { grep -q "$2" "/tmp/$1.out" || { show "$1"; return 1; }; }
exit_code() { [ "$(cat "/tmp/$1.rc")" = "$2" ] || { show "$1"; return 1; }; }
within() {
  [ "$(cat "/tmp/$1.seconds")" -le "$2" ] || { echo "  $1 took $(cat "/tmp/$1.seconds") s"; return 1; }
}
stage() { echo "HIL: $1 (at $(cut -d. -f1 /proc/uptime) s)"; }
traced() { grep -q "$2" "/tmp/$1.trace"; }
no_trace() { ! grep -q "$2" "/tmp/$1.trace"; }
balanced_detach() {
  [ "$(grep -c 'detached the snd-usb-audio' "/tmp/$1.trace")" = \
    "$(grep -c 're-attached the snd-usb-audio' "/tmp/$1.trace")" ]
}

# ---- 1. enumeration, -version, the device API (reads, resets, re-enumeration)
stage enumeration
dir=/tmp/bus
make_bus $dir
# Random flash contents that are no valid firmware (no area header, no tag): ROM runs.
head -c 262144 /dev/urandom > /tmp/pattern.bin
printf '\000\000' | dd of=/tmp/pattern.bin bs=1 seek=0 conv=notrunc 2>/dev/null
printf '\000\000' | dd of=/tmp/pattern.bin bs=1 seek=61438 conv=notrunc 2>/dev/null
vantorfw-sim load $dir flash-old spi /tmp/pattern.bin >/dev/null
cp -r $dir /tmp/ref
start_sim $dir
d=$(device_dir)
check "the kernel enumerated the simulated chip (sysfs)" \
  test "$(cat "$d/idProduct" 2>/dev/null)" = 0310 -a "$(cat "$d/product" 2>/dev/null)" != ""
check "snd-usb-audio bound to its audio interface" test "$(audio_driver)" = snd-usb-audio
devnum=$(cat "$d/devnum")
tool version -f -version
sim_tool version-sim /tmp/ref -f -version
check "-version through libusb prints what the simulated bus prints" same_run version version-sim
check "-version exit code 0" exit_code version 0
check "-version: the audio driver is set aside only for extension-unit requests, and comes back" balanced_detach version
check "-version: the open's extension-unit check set the audio driver aside and back" \
  traced version "re-attached the snd-usb-audio driver"
check "the audio driver is bound after the run" test "$(audio_driver)" = snd-usb-audio
check "-version did not re-enumerate the device" test "$(cat "$(device_dir)/devnum")" = "$devnum"
VANTOR_TRACE=1 VANTOR_HIL=$dir/flash-old.spi.bin timeout 300 ./test_hil > /tmp/api.log 2>&1
api=$?
[ $api = 0 ] || grep -v '^(' /tmp/api.log | sed 's/^/    /' | tail -n 60
check "device API: reads, register writes, resets and re-enumeration" test $api = 0
check "the audio driver is bound after the resets" test "$(audio_driver)" = snd-usb-audio

# ---- 2. permission: a user without access to the usbfs node
stage permission
chmod 600 /dev/bus/usb/*/* 2>/dev/null
su tester -c "cd /opt/vantor && timeout 120 ./vantorfw -f -version" > /tmp/perm.out 2> /tmp/perm.err
echo $? > /tmp/perm.rc
check "a permission error names the device node" grep -q "no permission to open /dev/bus/usb/" /tmp/perm.err
check "a permission error names the fix" grep -q "70-vantorfw.rules" /tmp/perm.err
check "a permission error ends with the flow's error" has perm "Get IC Info Fail"
stop_sim

# ---- 3. a stalled request: the status page the version is read from
stage stall
dir=/tmp/stall
make_bus $dir "fault_stall = C0 07 0x80"
cp -r $dir /tmp/stall-ref
start_sim $dir
tool stall -f -version
sim_tool stall-sim /tmp/stall-ref -f -version
check "stalled request: the same end as on the simulated bus" same_run stall stall-sim
check "stalled request: within a minute" within stall 60
stop_sim

# ---- 4. unplugged mid-transfer: the port is detached while a request is outstanding
stage unplug
dir=/tmp/gone
make_bus $dir "fault_timeout = C0 07 0x80"
start_sim $dir
port=$(sed -n 's/^attached .* to vhci port \([0-9]*\)$/\1/p' /tmp/sim.log | head -n 1)
tool gone -f -version &
toolpid=$!
i=0
while ! grep -q "unanswered" /tmp/sim.log && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
echo "$port" > /sys/devices/platform/vhci_hcd.0/detach
wait $toolpid
check "unplugged mid-transfer: the run ends within a minute, no hang" within gone 60
check "unplugged mid-transfer: the version is N/A" has gone "N/A"
check "unplugged mid-transfer: exit code 1" exit_code gone 1
check "unplugged mid-transfer: the proxy saw the device gone" traced gone "CVendorRequestV2 SendRequest failed: 8007048f"
stop_sim

# ---- 5. a device that does not come back after a reset
stage no-return
dir=/tmp/noreturn
make_bus $dir "time_reenum_ms = 600000"
start_sim $dir
VANTOR_TRACE=1 VANTOR_HIL=1 VANTOR_HIL_NO_RETURN=1 timeout 300 ./test_hil > /tmp/noreturn.log 2>&1
api=$?
[ $api = 0 ] || sed 's/^/    /' /tmp/noreturn.log | tail -n 30
check "no return after a reset: the reset fails within its budget" test $api = 0
stop_sim

# ---- 6. -write of an image (the chip resets and re-enumerates), -version, -verify
stage write
# Only with a build that writes flash (the same write passes on the simulated bus).
dir=/tmp/write
make_bus $dir
cp -r $dir /tmp/write-ref
sim_tool write-sim /tmp/write-ref -f -write samples/flash-old.bin
if [ -f samples/flash-old.bin ] && [ "$(cat /tmp/write-sim.rc)" = 0 ]; then
  start_sim $dir
  before=$(cat "$(device_dir)/devnum")
  tool write -f -write samples/flash-old.bin
  check "-write through libusb prints what the simulated bus prints" same_run write write-sim
  check "-write exit code 0" exit_code write 0
  check "-write: the chip re-enumerated through the kernel" \
    test "$(cat "$(device_dir)/devnum" 2>/dev/null)" != "$before"
  tool version2 -f -version
  sim_tool version2-sim /tmp/write-ref -f -version
  check "-version after the write shows the new version" same_run version2 version2-sim
  check "-version after the write differs from the blank chip's" \
    test "$(grep Version /tmp/version2.out)" != "$(grep Version /tmp/version.out)"
  tool verify -f -verify samples/flash-old.bin
  sim_tool verify-sim /tmp/write-ref -f -verify samples/flash-old.bin
  check "-verify through libusb prints what the simulated bus prints" same_run verify verify-sim
  check "-verify exit code 0" exit_code verify 0
  check "the audio driver is bound after the write" test "$(audio_driver)" = snd-usb-audio
  stop_sim

  dir=/tmp/write-noreturn
  make_bus $dir "time_reenum_ms = 600000"
  cp -r $dir /tmp/write-noreturn-ref
  start_sim $dir
  tool lost -f -write samples/flash-old.bin
  sim_tool lost-sim /tmp/write-noreturn-ref -f -write samples/flash-old.bin
  check "-write, no return after the reset: the flow's error as on the simulated bus" same_run lost lost-sim
  check "-write, no return after the reset: exit code 1" exit_code lost 1
  check "-write, no return after the reset: within the flow's budgets" within lost 120
  stop_sim
else
  echo "HIL: this build does not write flash (no sample image, or -write fails on the simulated bus): -write and -verify not run"
fi

stage end
echo "$passed passed, $failed failed"
poweroff -f
