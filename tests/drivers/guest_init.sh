#!/bin/sh
# The test machine's first process (busybox sh). It loads the USB serial
# drivers and runs the checks on each port named on the kernel command line
# (velmorant.ports=ttyS1,ttyUSB0). Lines starting "@@ " tell the host what
# happened ("@@ pass NAME", "@@ fail NAME: WHY") or ask it to look or act
# ("@@ quiet-from ttyUSB0"); the host answers each question with one line on
# the console: "ok", or what it saw instead.
export PATH=/bin:/usr/bin HOME=/tmp XDG_CACHE_HOME=/tmp/cache
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mkdir -p /dev/pts
mount -t devpts devpts /dev/pts
mount -t tmpfs tmp /tmp
stty -echo -icanon icanon </dev/console
exec </dev/console >/dev/console 2>&1

pass() { echo "@@ pass $1"; }
fail() { echo "@@ fail $1: $2"; }
# check NAME COMMAND...: one result from the command's status.
check() {
  name=$1
  shift
  if "$@" >/tmp/check.out 2>&1; then pass "$name"; else fail "$name" "$(tail -n 5 /tmp/check.out | tr '\n' '|')"; fi
}
ask() {
  echo "@@ $*"
  read -r answer
}
# wait_for SECONDS WHAT COMMAND...: until the command succeeds; false, and a
# line naming what was waited for, when the time is up.
wait_for() {
  tenths=$(($1 * 10)) what=$2
  shift 2
  while ! "$@" 2>/dev/null; do
    tenths=$((tenths - 1))
    if [ "$tenths" -le 0 ]; then
      echo "waited in vain for $what"
      return 1
    fi
    sleep 0.1
  done
}

while read -r module; do
  insmod "/modules/$module.ko" || fail "insmod $module" "did not load"
done </modules.order
echo "tester:x:1000:1000::/tmp:/bin/sh" >>/etc/passwd

ports=$(tr ' ' '\n' </proc/cmdline | sed -n 's/^velmorant.ports=//p' | tr ',' ' ')
echo "@@ ports $ports"
# bench/drivers_bench.sh: the program polls through each port and then
# through a pseudo-terminal here, with a simulator of this machine's own.
bench=$(tr ' ' '\n' </proc/cmdline | sed -n 's/^velmorant.bench=//p')
if [ -n "$bench" ]; then
  for port in $ports; do
    wait_for 60 "/dev/$port" test -e "/dev/$port" && velmorant-demo --headless --port "$port" --duration "$bench" >/dev/null 2>&1
    echo "@@ polled $port"
  done
  velmorant-sim --scenario fixed --log /tmp/pty.log >/tmp/sim.out 2>&1 &
  wait_for 20 "the simulator's port" grep -q "port pts/" /tmp/sim.out || cat /tmp/sim.out
  pty=$(sed -n 's/.*port \(pts\/[0-9]*\).*/\1/p' /tmp/sim.out)
  velmorant-demo --headless --port "$pty" --duration "$bench" >/dev/null 2>&1
  kill $!
  sed 's/^/@@ pty-log /' /tmp/pty.log
  echo "@@ done"
  poweroff -f
fi
# The kernel console is never a port.
check "console ttyS0 refused" sh -c 'driver_checks open ttyS0; [ $? -eq 3 ]'

# program_shows PORT: the program, the port typed in its field, shows the
# simulator's speed.
program_shows() {
  velmorant-demo --headless --port "$1" --duration 8 >"/tmp/program-$1.out" 2>&1
  cat "/tmp/program-$1.out"
  grep -qx "Connected on $1" "/tmp/program-$1.out" && grep -qx "50 km/h" "/tmp/program-$1.out"
}
# by_id_link PORT: the link udev's 60-serial rules make for a USB adapter,
# /dev/serial/by-id/usb-MANUFACTURER_PRODUCT_SERIAL-ifNN-portN (spaces and
# other characters udev does not keep turned into "_"). This machine has no
# udev, so it is made here from the same sysfs attributes.
by_id_link() {
  interface=$(readlink -f "/sys/bus/usb-serial/devices/$1/..")
  id=$(cat "$interface/../manufacturer" "$interface/../product" "$interface/../serial" | tr -c '0-9A-Za-z#+.:=@\n-' _ | tr '\n' _)
  link=/dev/serial/by-id/usb-${id%_}-if$(cat "$interface/bInterfaceNumber")-port$(cat "/sys/bus/usb-serial/devices/$1/port_number")
  mkdir -p /dev/serial/by-id
  ln -sf "../../$1" "$link"
  echo "$link"
}
# program_shows_com5 PORT: the program shows the speed with COM5 typed, COM5
# given to the port's by-id link.
program_shows_com5() {
  link=$(by_id_link "$1")
  velmorant-demo --link-port COM5 "$link" && velmorant-demo --headless --port COM5 --duration 8 >/tmp/program-com5.out 2>&1
  cat /tmp/program-com5.out
  grep -qx "Connected on COM5" /tmp/program-com5.out && grep -qx "50 km/h" /tmp/program-com5.out
}
# lists_usb_id PORT: --list-ports gives the adapter's vendor:product id (the
# emulator's usb-serial is an FTDI 0403:6001) on the port's line.
lists_usb_id() {
  device=$(readlink -f "/sys/bus/usb-serial/devices/$1/../..")
  id=$(cat "$device/idVendor"):$(cat "$device/idProduct")
  velmorant-demo --list-ports
  [ "$id" = 0403:6001 ] && velmorant-demo --list-ports | grep "^$1 " | grep -q "$id"
}
# conversation PORT: the port layer's tests against the simulator, the port as
# COM17 (all but those that need the simulator's hang-up).
conversation() {
  mkdir -p "/tmp/links-$1"
  ln -sf "/dev/$1" "/tmp/links-$1/com17"
  VELMORANT_DOSDEVICES=/tmp/links-$1 serial_sim_tests --gtest_filter=-HungUp.*
}
holder_says() { grep -q "^@@ held" /tmp/holder.out; }
# judge_modem_lines WHAT: the host's answer on the modem lines since the last
# quiet-from, where the trace shows them.
judge_modem_lines() {
  case $answer in
    ok) pass "$1" ;;
    blind) echo "@@ note the trace does not show the modem lines of $port" ;;
    *) fail "$1" "$answer" ;;
  esac
}
# second_open PORT: while one holds the port, neither root nor another user
# gets it, and neither try moves a modem line.
second_open() {
  port=$1
  mkfifo /tmp/holder.in
  driver_checks hold "$port" </tmp/holder.in >/tmp/holder.out 2>&1 &
  holder=$!
  exec 3>/tmp/holder.in
  if wait_for 20 "the holder of $port" holder_says; then
    # Root passes TIOCEXCL: only a refusal before the driver's open (which
    # raises DTR and RTS) leaves the holder's modem lines alone.
    ask quiet-from "$port"
    check "second open of $port by root refused" sh -c "driver_checks open $port; [ \$? -eq 3 ]"
    ask quiet-since "$port"
    judge_modem_lines "root's try moves no modem line of $port"
    ask quiet-from "$port"
    check "second open of $port by another user refused" \
      su -s /bin/sh tester -c "driver_checks open $port; [ \$? -eq 3 ]"
    ask quiet-since "$port"
    judge_modem_lines "another user's try moves no modem line of $port"
    if [ -e "/sys/bus/usb-serial/devices/$port/latency_timer" ]; then
      held_latency=$(cat "/sys/bus/usb-serial/devices/$port/latency_timer")
    fi
  else
    fail "holder of $port" "$(cat /tmp/holder.out)"
  fi
  exec 3>&-
  wait "$holder"
  grep "^@@ \(pass\|fail\)" /tmp/holder.out
  rm -f /tmp/holder.in
}

# The CDC-ACM device is this machine's own USB gadget (dummy_hcd, g_serial);
# what the program sends it goes on through ttyS2 to the host's simulator. The
# relay opens the gadget's ttyGS0 again each time the gadget comes back.
case " $ports " in *" ttyACM0 "*) driver_checks relay ttyGS0 ttyS2 & ;; esac
# One check by hand (run_guest.py --only COMMAND).
if [ -f /only.sh ]; then
  sh /only.sh
  echo "@@ done"
  poweroff -f
fi

for port in $ports; do
  if ! wait_for 60 "/dev/$port" test -e "/dev/$port"; then
    fail "$port present" "no /dev/$port; $(echo /dev/tty[SUA]*)"
    continue
  fi
  chmod 666 "/dev/$port"
  latency=/sys/bus/usb-serial/devices/$port/latency_timer
  [ -e "$latency" ] && before=$(cat "$latency")
  check "conversation on $port" conversation "$port"
  driver_checks modes "$port"
  check "program on $port" program_shows "$port"
  case $port in
    ttyUSB*)
      check "program on COM5, the by-id link of $port" program_shows_com5 "$port"
      check "port list gives the USB id of $port" lists_usb_id "$port"
      ;;
  esac
  held_latency=
  second_open "$port"
  if [ -e "$latency" ]; then
    after=$(cat "$latency")
    check "latency 1 ms while $port is held" sh -c "echo read $held_latency; [ '$held_latency' = 1 ]"
    check "latency back to $before after $port closed" sh -c "echo read $after; [ '$after' = '$before' ]"
  fi
  driver_checks keeps-low-latency "$port"
  case $port in
    ttyUSB*)
      driver_checks unplug "$port"
      driver_checks program-unplug "$port"
      ;;
    ttyACM0)
      # The gadget goes and comes back, as a device pulled and put back does.
      driver_checks unplug "$port" "rmmod g_serial" "insmod /modules/g_serial.ko"
      driver_checks program-unplug "$port" "rmmod g_serial" "insmod /modules/g_serial.ko"
      ;;
  esac
done
echo "@@ done"
poweroff -f
