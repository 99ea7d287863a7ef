#!/usr/bin/env python3
"""Start-up and idle cost of a window program, measured from outside on an X display.

  window_costs.py start [--runs N] -- COMMAND...   time from exec to the first top-level map of the
                                                   program's window, and its RSS right after
  window_costs.py idle [--secs S] [--settle S] [--tray 1] -- COMMAND...
                                                   after a settle time: wake-ups a second (all
                                                   threads, from /proc/PID/task/*/schedstat) and
                                                   CPU as a share of one core, over S seconds;
                                                   --tray 1 owns the notification area's selection
                                                   meanwhile, so the program can hide in it

Runs on $DISPLAY (e.g. under `Xvfb :N`; no window manager needed: top-level windows map at once).
Prints one line per run and the median. The command runs with QT_XCB_GL_INTEGRATION=none unless
the environment sets it, so no GL context (and no software renderer) is loaded.
"""
import ctypes
import os
import signal
import statistics
import subprocess
import sys
import time

MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class XDisplay:
    """Just enough Xlib to wait for a child of the root window to be mapped."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        self.x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.x.XPending.argtypes = [ctypes.c_void_p]
        self.x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(None)
        if not self.dpy:
            sys.exit("window_costs: cannot open the display $DISPLAY")
        self.x.XSelectInput(self.dpy, self.x.XDefaultRootWindow(self.dpy), SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XFlush(self.dpy)
        self.fd = self.x.XConnectionNumber(self.dpy)

    def wait_map(self, proc, timeout):
        """Seconds until a top-level window (not override-redirect) maps; None on timeout/exit."""
        import select
        event = ctypes.create_string_buffer(192)
        end = time.monotonic() + timeout
        while time.monotonic() < end and proc.poll() is None:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, event)
                kind = ctypes.c_int.from_buffer(event, 0).value
                # XMapEvent: type, serial, send_event, display, event, window, override_redirect
                override = ctypes.c_int.from_buffer(event, 48).value
                if kind == MAP_NOTIFY and not override:
                    return time.monotonic()
            select.select([self.fd], [], [], 0.05)
        return None


class TrayOwner:
    """A stand-in notification area: the owner of the screen's system tray selection, enough for
    a program to find one and hide its window in it (nothing is drawn)."""

    def __init__(self):
        x = ctypes.CDLL("libX11.so.6")
        x.XOpenDisplay.restype = ctypes.c_void_p
        x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x.XDefaultRootWindow.restype = ctypes.c_ulong
        x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x.XInternAtom.restype = ctypes.c_ulong
        x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x.XCreateSimpleWindow.restype = ctypes.c_ulong
        x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 4 + \
            [ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
        x.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
        x.XFlush.argtypes = [ctypes.c_void_p]
        self.x = x
        self.dpy = x.XOpenDisplay(None)
        if not self.dpy:
            sys.exit("window_costs: cannot open the display $DISPLAY")
        window = x.XCreateSimpleWindow(self.dpy, x.XDefaultRootWindow(self.dpy), 0, 0, 1, 1, 0, 0, 0)
        x.XSetSelectionOwner(self.dpy, x.XInternAtom(self.dpy, b"_NET_SYSTEM_TRAY_S0", 0), window, 0)
        x.XFlush(self.dpy)


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def sched(pid):
    """(CPU ns, timeslices, voluntary switches) summed over the process's threads. A thread that
    goes to sleep and is woken counts one voluntary switch; timeslices also count preemptions,
    which a loaded machine adds."""
    ns = slices = voluntary = 0
    for tid in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                run, _wait, count = (int(v) for v in f.read().split())
            with open(f"/proc/{pid}/task/{tid}/status") as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        voluntary += int(line.split()[1])
        except (FileNotFoundError, ValueError):
            continue
        ns += run
        slices += count
    return ns, slices, voluntary


def launch(cmd):
    env = dict(os.environ)
    env.setdefault("QT_XCB_GL_INTEGRATION", "none")
    return subprocess.Popen(cmd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            start_new_session=True)


def stop(proc):
    try:
        os.killpg(proc.pid, signal.SIGTERM)
        proc.wait(timeout=5)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()


def run_start(cmd, runs):
    display = XDisplay()
    times, rss, cpu = [], [], []
    for i in range(runs):
        t0 = time.monotonic()
        proc = launch(cmd)
        mapped = display.wait_map(proc, 20)
        if mapped is None:
            stop(proc)
            sys.exit("window_costs: the window did not map (exit %s)" % proc.poll())
        kib = rss_kib(proc.pid)
        times.append((mapped - t0) * 1000)
        rss.append(kib / 1024)
        # CPU time is less at the mercy of a loaded machine than the wall time.
        cpu.append(sched(proc.pid)[0] / 1e6)
        print(f"run {i + 1}: mapped after {times[-1]:.1f} ms ({cpu[-1]:.1f} ms CPU), RSS {rss[-1]:.1f} MiB",
              flush=True)
        stop(proc)
        time.sleep(0.3)
    print(f"start: median {statistics.median(times):.1f} ms to map ({statistics.median(cpu):.1f} ms CPU), "
          f"median RSS {statistics.median(rss):.1f} MiB ({runs} runs)")


def run_idle(cmd, secs, settle, tray):
    owner = TrayOwner() if tray else None  # kept until the measurement ends
    proc = launch(cmd)
    time.sleep(settle)
    if proc.poll() is not None:
        sys.exit("window_costs: the program ended (exit %s)" % proc.returncode)
    ns0, n0, v0 = sched(proc.pid)
    time.sleep(secs)
    ns1, n1, v1 = sched(proc.pid)
    kib = rss_kib(proc.pid)
    stop(proc)
    del owner
    print(f"idle: {(v1 - v0) / secs:.2f} wake-ups/s ({(n1 - n0) / secs:.2f} timeslices/s), "
          f"CPU {100.0 * (ns1 - ns0) / 1e9 / secs:.4f} % of one core over {secs} s, RSS {kib / 1024:.1f} MiB")


def main(argv):
    if len(argv) < 3 or argv[0] not in ("start", "idle") or "--" not in argv:
        sys.exit(__doc__)
    split = argv.index("--")
    opts, cmd = argv[1:split], argv[split + 1:]
    vals = dict(zip(opts[::2], opts[1::2]))
    if argv[0] == "start":
        run_start(cmd, int(vals.get("--runs", 9)))
    else:
        run_idle(cmd, float(vals.get("--secs", 20)), float(vals.get("--settle", 6)), vals.get("--tray") == "1")


if __name__ == "__main__":
    main(sys.argv[1:])
