#!/usr/bin/env python3
"""Boots the test machine once and runs the checks of tests/drivers/guest_init.sh
against the real serial drivers, with velmorant-sim answering on this side.

  run_guest.py KERNEL MODULES_DIR NATIVE_BUILD WORK_DIR [--bench SECONDS | --only COMMAND] [PORT...]

PORT is one of the table's rows below (default: all). The emulator runs
without KVM (software emulation) so that it behaves the same everywhere. Ends
with "checks: N passed, M failed" and a status that is 0 only when every
check ran and passed. With --bench the program polls for SECONDS through each
port and then through a pseudo-terminal inside the machine, and the polling
periods are printed instead; nothing is checked. With --only the guest runs
COMMAND (a busybox sh command line, e.g. "driver_checks modes ttyUSB0")
instead of its checks, and only what it reports counts."""
import os
import re
import select
import shutil
import socket
import stat
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
BOOT_SECONDS = 240  # until the guest names its ports (112 s seen with the host at load 37 on 2 cores)
STEP_SECONDS = 180  # between any two "@@" lines of the guest (kernel messages do not count)

# One row per driver: the guest's port, the emulated hardware that carries it,
# the modules it needs, and how the emulator's trace shows its line.
DRIVERS = {
    "ttyS1": {"modules": [], "trace": "uart",
              "devices": ["-device", "isa-serial,index=1,chardev=line_ttyS1"]},
    "ttyUSB0": {"modules": ["xhci-pci", "ftdi_sio"], "trace": "ftdi",
                "devices": ["-device", "qemu-xhci,id=xhci",
                            "-device", "usb-serial,bus=xhci.0,chardev=line_ttyUSB0,id=adapter"]},
    "ttyACM0": {"modules": ["dummy_hcd", "usb_f_acm", "g_serial", "cdc_acm"], "trace": "none",
                "devices": ["-device", "isa-serial,index=2,irq=5,chardev=line_ttyACM0"]},
}
ADAPTER_ADD = "device_add usb-serial,bus=xhci.0,chardev=line_ttyUSB0,id=adapter"
# The checks each row must pass (a check that never ran counts as failed).
REQUIRED = ["conversation on {}", "program on {}", "second open of {} by root refused",
            "second open of {} by another user refused", "second opens leave {}'s unread input", "checks off {}"]
MODEM_LINES = ["root's try moves no modem line of {}", "another user's try moves no modem line of {}"]
UNPLUG = ["unplug {}, the port layer reports the loss", "unplug {}, back under the same name, and talking"] + [
    "program on {} unplugged, " + c for c in
    ("shows the speed first", "loss told at once", "back at once under the same name", "the speed again")]
REQUIRED_ROW = {
    "ttyS1": MODEM_LINES,
    "ttyUSB0": MODEM_LINES + UNPLUG + ["latency 1 ms while {} is held", "low latency set beforehand stays after {} closed",
                                       "program on COM5, the by-id link of {}", "port list gives the USB id of {}"],
    "ttyACM0": UNPLUG,
}


def fail(message):
    print("run_guest: " + message, file=sys.stderr)
    sys.exit(1)


# --- the initial RAM disk (cpio "newc"), written here so that no cpio is needed


class Cpio:
    def __init__(self, path):
        self.out = open(path, "wb")
        self.inode = 1
        self.dirs = set()

    def _entry(self, name, mode, data=b""):
        header = "070701" + "".join("%08X" % v for v in (
            self.inode, mode, 0, 0, 1, 0, len(data), 0, 0, 0, 0, len(name) + 1, 0))
        self.inode += 1
        self.out.write(header.encode() + name.encode() + b"\0")
        self.out.write(b"\0" * (-(110 + len(name) + 1) % 4))
        self.out.write(data)
        self.out.write(b"\0" * (-len(data) % 4))

    def directory(self, name):
        name = name.strip("/")
        if not name or name in self.dirs:
            return
        self.directory(os.path.dirname(name))
        self.dirs.add(name)
        self._entry(name, stat.S_IFDIR | 0o755)

    def file(self, name, data, mode=0o755):
        name = name.strip("/")
        self.directory(os.path.dirname(name))
        self._entry(name, stat.S_IFREG | mode, data)

    def link(self, name, target):
        name = name.strip("/")
        self.directory(os.path.dirname(name))
        self._entry(name, stat.S_IFLNK | 0o777, target.encode())

    def host_file(self, path, name=None):
        """A host file at the same path (links kept as links, their targets too)."""
        name = name or path
        if os.path.islink(path):
            target = os.readlink(path)
            self.link(name, target)
            self.host_file(os.path.join(os.path.dirname(path), target), os.path.join(os.path.dirname(name), target))
        else:
            with open(path, "rb") as f:
                self.file(name, f.read(), os.stat(path).st_mode & 0o777)

    def host_tree(self, path):
        for folder, _, files in os.walk(path):
            for f in files:
                self.host_file(os.path.join(folder, f))

    def close(self):
        self._entry("TRAILER!!!", 0)
        self.out.close()


def libraries(program):
    out = subprocess.run(["ldd", program], check=True, capture_output=True, text=True).stdout
    return sorted(set(re.findall(r"(/\S+) \(0x", out)))


def module_order(modules_dir, wanted):
    """The modules and all they depend on, each after its dependencies. The
    package has no modules.dep (depmod makes it on installation), so each
    module's own "depends=" entry is read."""
    paths = {}
    for folder, _, files in os.walk(modules_dir):
        for f in files:
            if f.endswith(".ko"):
                paths[f[:-3].replace("-", "_")] = os.path.join(folder, f)
    order = []

    def visit(name):
        name = name.replace("-", "_")
        if name not in paths:
            fail("no module %s in %s" % (name, modules_dir))
        if name in order:
            return
        with open(paths[name], "rb") as f:
            m = re.search(rb"\0depends=([^\0]*)\0", f.read())
        for need in (m[1].decode().split(",") if m and m[1] else []):
            visit(need)
        order.append(name)

    for m in wanted:
        visit(m)
    return [(m, paths[m]) for m in order]


def make_initramfs(path, modules_dir, native, ports, only):
    cpio = Cpio(path)
    for folder in ("proc", "sys", "dev", "tmp"):
        cpio.directory(folder)
    cpio.host_file("/bin/busybox")
    applets = subprocess.run(["/bin/busybox", "--list"], check=True, capture_output=True, text=True).stdout.split()
    for applet in applets:
        if applet != "busybox":
            cpio.link("bin/" + applet, "busybox")
    cpio.link("usr/bin", "../bin")
    with open(os.path.join(HERE, "guest_init.sh"), "rb") as f:
        cpio.file("init", f.read())
    programs = [os.path.join(native, p) for p in
                ("tests/drivers/driver_checks", "tests/serial/serial_sim_tests", "sim/velmorant-sim",
                 "app/velmorant-demo")]
    shared = set()
    for program in programs:
        stripped = path + ".program"
        subprocess.run(["strip", "-o", stripped, program], check=True)
        with open(stripped, "rb") as f:
            cpio.file("bin/" + os.path.basename(program), f.read())
        os.remove(stripped)
        shared.update(libraries(program))
    for library in sorted(shared):
        cpio.host_file(library)
    # The headless display draws text with fontconfig's fonts.
    for tree in ("/etc/fonts", "/usr/share/fonts/truetype/dejavu", "/usr/share/fonts/truetype/liberation"):
        if os.path.isdir(tree):
            cpio.host_tree(tree)
    if only:
        cpio.file("only.sh", only.encode() + b"\n")
    cpio.file("etc/passwd", b"root:x:0:0::/root:/bin/sh\n", 0o644)
    cpio.file("etc/group", b"root:x:0:\ntester:x:1000:\n", 0o644)
    wanted = [m for p in ports for m in DRIVERS[p]["modules"]]
    order = module_order(modules_dir, wanted)
    for name, rel in order:
        with open(rel, "rb") as f:
            cpio.file("modules/%s.ko" % name, f.read(), 0o644)
    cpio.file("modules.order", "".join(n + "\n" for n, _ in order).encode(), 0o644)
    cpio.close()


# --- what the emulator's trace says each line was set to


class Wire:
    """The line state as the drivers programmed the emulated hardware."""

    def __init__(self, path):
        self.path = path
        self.offset = 0
        self.state = {"uart": {}, "ftdi": {}, "none": {}}
        self.modem_moves = {"uart": [], "ftdi": [], "none": []}

    def update(self):
        with open(self.path, errors="replace") as f:
            f.seek(self.offset)
            text = f.read()
        cut = text.rfind("\n") + 1
        self.offset += len(text[:cut].encode())
        for line in text[:cut].splitlines():
            m = re.search(r"serial_update_parameters baudrate=(\d+) parity='(.)' data=(\d) stop=(\d)", line)
            if m:
                self.state["uart"] = {"baud": m[1], "parity": m[2], "data": m[3], "stop": m[4]}
            m = re.search(r"usb_serial_set_baud dev \S+ baud rate (\d+)", line)
            if m:
                self.state["ftdi"]["baud"] = m[1]  # what the divisor gives, as on a real adapter
            m = re.search(r"usb_serial_handle_control dev \S+ got control 0x(\w+), value 0x(\w+)", line)
            if m and int(m[1], 16) == 0x4004:  # FTDI_SET_DATA: data bits, parity, stop bits as sent
                value = int(m[2], 16)
                self.state["ftdi"].update({"data": str(value & 0xFF), "parity": "NOEMS"[(value >> 8) & 7]
                                           if (value >> 8) & 7 < 5 else "?", "stop": {0: "1", 2: "2"}.get((value >> 11) & 3, "?")})
            if m and int(m[1], 16) == 0x4001:  # FTDI_SET_MDM_CTRL: DTR and RTS
                self.modem_moves["ftdi"].append(line.strip())
            # A write to a 16550's modem control register (DTR, RTS). The trace
            # does not say which UART; only the held port's driver writes one
            # while the modem lines are watched (the console's never does).
            if re.search(r"serial_write write addr 0x04 ", line):
                self.modem_moves["uart"].append(line.strip())

    def matches(self, kind, want):
        self.update()
        seen = dict(self.state[kind])
        # A baud rate generator divides its clock: 115200 comes out as
        # 115384 on an FTDI adapter; a receiver takes that, so half a percent is
        # the same rate.
        if "baud" in seen and abs(int(seen["baud"]) - int(want["baud"])) <= int(want["baud"]) // 200:
            seen["baud"] = want["baud"]
        if kind == "uart" and want["parity"] in "MS":
            # The emulated 16550 ignores the stick-parity bit: mark shows as odd, space as even.
            want = dict(want, parity={"M": "O", "S": "E"}[want["parity"]])
        return seen == want, seen


# --- the run


def start_simulator(native, work, port):
    log = os.path.join(work, "sim-%s.log" % port)
    out = open(os.path.join(work, "sim-%s.out" % port), "w+")
    sim = subprocess.Popen([os.path.join(native, "sim/velmorant-sim"), "--scenario", "fixed", "--log", log],
                           stdout=out, stderr=subprocess.STDOUT)
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        out.seek(0)
        m = re.search(r"velmorant-sim: scenario \S+, port (\S+)", out.read())
        if m:
            return sim, "/dev/" + m[1]
        if sim.poll() is not None:
            break
        time.sleep(0.05)
    out.seek(0)
    fail("velmorant-sim for %s did not name its port within 10 s: %s" % (port, out.read()))


def monitor(path, command):
    with socket.socket(socket.AF_UNIX) as s:
        s.settimeout(10)
        s.connect(path)
        reply = b""
        while not reply.endswith(b"(qemu) "):
            reply += s.recv(4096)
        s.sendall(command.encode() + b"\n")
        reply = b""
        while not reply.endswith(b"\n(qemu) "):
            reply += s.recv(4096)
        # What follows the echo of the command, without the terminal's escapes.
        text = re.sub(r"\x1b\[[0-9;]*[A-Za-z]", "", reply.decode(errors="replace"))
        return text.split("\n", 1)[1].rsplit("(qemu) ", 1)[0].strip() if "\n" in text else ""


def wait_until(seconds, what, condition):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    print("run_guest: waited %d s in vain for %s" % (seconds, what))
    return False


def print_periods(where, log_lines):
    """The median and 90th percentile of the time between speed requests."""
    times = [float(line.split()[0]) for line in log_lines if line.split()[1:2] == ["0805\\r"]]
    periods = sorted(b - a for a, b in zip(times, times[1:]))
    if not periods:
        print("bench: no polling seen through %s" % where)
        return
    pick = lambda share: periods[min(len(periods) - 1, int(share * len(periods)))] * 1000
    print("bench: through %-18s %4d cycles, median %6.1f ms, 90th percentile %6.1f ms" %
          (where, len(periods), pick(0.5), pick(0.9)))


def main():
    if len(sys.argv) < 5:
        fail(__doc__)
    kernel, modules_dir, native, work = sys.argv[1:5]
    args = sys.argv[5:]
    bench = only = None
    if args[:1] == ["--bench"]:
        bench, args = args[1], args[2:]
    elif args[:1] == ["--only"]:
        only, args = args[1], args[2:]
    ports = args or list(DRIVERS)
    for p in ports:
        if p not in DRIVERS:
            fail("no row for port %s (rows: %s)" % (p, " ".join(DRIVERS)))
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    qemu = shutil.which("qemu-system-x86_64")
    if qemu is None:
        fail("qemu-system-x86_64 is missing (scripts/setup.sh installs it)")
    started = time.monotonic()
    initrd = os.path.join(work, "initramfs.cpio")
    make_initramfs(initrd, modules_dir, native, ports, only)
    print("run_guest: initial RAM disk %d MB in %.1f s" % (os.path.getsize(initrd) >> 20, time.monotonic() - started))

    sims = {}
    for p in ports:
        sims[p] = start_simulator(native, work, p)
    trace = os.path.join(work, "trace.log")
    monitor_path = os.path.join(work, "monitor.sock")
    command = [qemu, "-accel", "tcg", "-machine", "q35", "-cpu", "max", "-m", "512", "-smp", "1",
               "-nodefaults", "-display", "none", "-no-reboot", "-bios", "qboot.rom",
               "-kernel", kernel, "-initrd", initrd,
               # no_timer_check: on a starved host the emulated timer misses the
               # kernel's early interrupt test, and the kernel panics ("IO-APIC +
               # timer doesn't work!").
               "-append", "console=ttyS0 panic=-1 quiet no_timer_check velmorant.ports=" + ",".join(ports)
               + (" velmorant.bench=" + bench if bench else ""),
               "-chardev", "stdio,id=console,signal=off", "-serial", "chardev:console",
               "-monitor", "unix:%s,server=on,wait=off" % monitor_path,
               "-D", trace, "-trace", "serial_update_parameters", "-trace", "serial_write", "-trace", "usb_serial_*"]
    for p in ports:
        command += ["-chardev", "serial,id=line_%s,path=%s" % (p, sims[p][1])] + DRIVERS[p]["devices"]
    guest = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    wire = Wire(trace)
    results = {}
    passed = failed = 0
    done = False
    since = {}
    pending = b""
    booted = False
    console = open(os.path.join(work, "console.log"), "w")
    pty_log = []

    def answer(text):
        guest.stdin.write(text.encode() + b"\n")
        guest.stdin.flush()

    last_marker, marker_at = "", time.monotonic()
    while True:
        wait = (STEP_SECONDS if booted else BOOT_SECONDS)
        ready, _, _ = select.select([guest.stdout], [], [], max(0, marker_at + wait - time.monotonic()))
        if not ready:
            print("run_guest: waited %d s in vain for %s" % (
                wait, "the guest's next step after \"%s\"" % last_marker if booted else "the guest to boot"))
            failed += 1
            guest.kill()
            break
        chunk = os.read(guest.stdout.fileno(), 4096)
        if not chunk:
            break
        pending += chunk
        while b"\n" in pending:
            raw, pending = pending.split(b"\n", 1)
            line = raw.decode(errors="replace").rstrip("\r")
            console.write(line + "\n")
            console.flush()
            if not line.startswith("@@ "):
                continue
            print("%6.1f s  %s" % (time.monotonic() - started, line[3:]))
            last_marker, marker_at = line[3:], time.monotonic()
            word, _, rest = line[3:].partition(" ")
            if word == "ports":
                booted = True
            elif word in ("pass", "fail"):
                name = rest.split(": ")[0]
                results.setdefault(name, []).append(word)
                passed += word == "pass"
                failed += word == "fail"
            elif word == "wire":
                port, baud, parity, data, stop = rest.split()
                want = {"baud": baud, "parity": parity, "data": data, "stop": stop}
                if DRIVERS[port]["trace"] == "none":
                    answer("blind")
                    continue
                seen = {}
                ok = wait_until(10, "%s on the wire as %s" % (port, rest),
                                lambda: wire.matches(DRIVERS[port]["trace"], want)[0])
                if not ok:
                    seen = wire.matches(DRIVERS[port]["trace"], want)[1]
                answer("ok" if ok else "the trace shows %s" % seen)
            elif word == "quiet-from":
                wire.update()
                since[rest] = len(wire.modem_moves[DRIVERS[rest]["trace"]])
                answer("ok")
            elif word == "quiet-since":
                wire.update()
                kind = DRIVERS[rest]["trace"]
                moves = wire.modem_moves[kind][since[rest]:]
                answer("blind" if kind == "none" else "ok" if not moves else "moved: " + " | ".join(moves))
            elif word == "unplug":
                monitor(monitor_path, "device_del adapter")
                gone = wait_until(20, "the adapter to leave the emulator",
                                  lambda: "adapter" not in monitor(monitor_path, "info qtree"))
                answer("ok" if gone else "the adapter is still plugged")
            elif word == "replug":
                # The emulator lets go of the adapter's line a little after the adapter.
                replies = []
                wait_until(20, "the adapter's line to be free for a new adapter",
                           lambda: not replies.append(monitor(monitor_path, ADAPTER_ADD)) and not replies[-1])
                answer("ok" if not replies[-1] else replies[-1].replace("\n", " "))
            elif word == "pty-log":
                pty_log.append(rest)
            elif word == "done":
                done = True
        if done:
            break
    try:
        guest.wait(timeout=30)
    except subprocess.TimeoutExpired:
        print("run_guest: waited 30 s in vain for the guest to power off")
        guest.kill()
        failed += 1
    for sim, _ in sims.values():
        sim.terminate()
        sim.wait()
    if bench:
        for p in ports:
            with open(os.path.join(work, "sim-%s.log" % p)) as f:
                print_periods(p, f.read().splitlines())
        print_periods("a pseudo-terminal", pty_log)
        sys.exit(0 if done else 1)
    if not done:
        print("run_guest: the guest ended before its last check (console: %s)" % os.path.join(work, "console.log"))
        failed += 1
    for p in ports if not only else []:
        required = REQUIRED + REQUIRED_ROW[p]
        for name in (r.format(p) for r in required):
            if "pass" not in results.get(name, []):
                print("run_guest: no pass for %r" % name)
                failed += 1
    print("run_guest: %.0f s in all" % (time.monotonic() - started))
    print("checks: %d passed, %d failed" % (passed, failed))
    sys.exit(0 if failed == 0 else 1)


if __name__ == "__main__":
    main()
