"""The tests' X server: Xvfb on a free display, noted for the harness, and stopped again."""
import json
import os
import signal
import subprocess
import time

from .env import e2e_dir

# The size of the screen (desktop.py fills it with a virtual desktop for screenshots).
SCREEN = "1024x768x24"


def display_free(n):
    return not os.path.exists("/tmp/.X11-unix/X%d" % n) and not os.path.exists("/tmp/.X%d-lock" % n)


def xvfb_on_free_display(numbers, log_path):
    """Starts Xvfb on the first free display among numbers, in a session of its own with its
    output appended to log_path (CTest waits for a test's pipes to close); returns
    (":N", the process), or (None, None) when none is free. A display that another
    program took first between the look and the start is skipped."""
    for n in numbers:
        if not display_free(n):
            continue
        with open(log_path, "ab") as log:
            p = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", SCREEN, "-nolisten", "tcp"],
                                 stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        for _ in range(100):
            if os.path.exists("/tmp/.X11-unix/X%d" % n) or p.poll() is not None:
                break
            time.sleep(0.1)
        if p.poll() is None and os.path.exists("/tmp/.X11-unix/X%d" % n):
            return ":%d" % n, p
        if p.poll() is None:
            p.kill()
            p.wait()
    return None, None


def stop_process(p):
    p.send_signal(signal.SIGTERM)
    try:
        p.wait(timeout=30)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()


def xvfb_note():
    return os.path.join(e2e_dir(), "xvfb.json")


def start_xvfb():
    """Starts Xvfb on a free display (unless ORV_E2E_DISPLAY names one) and notes it in
    e2e_dir()/xvfb.json for the harness; returns the display, or None when none is free."""
    d = e2e_dir()
    os.makedirs(d, exist_ok=True)
    stop_xvfb(xvfb_note())
    display = os.environ.get("ORV_E2E_DISPLAY")
    if display:
        return display
    display, p = xvfb_on_free_display(range(90, 300), os.path.join(d, "xvfb.out"))
    if display:
        with open(xvfb_note(), "w") as f:
            json.dump({"display": display, "pid": p.pid}, f)
    return display


def stop_xvfb(info_path=None):
    """Stops the Xvfb noted in info_path (default: the harness's note), if it still runs."""
    info_path = info_path or xvfb_note()
    if not os.path.exists(info_path):
        return
    try:
        with open(info_path) as f:
            pid = json.load(f)["pid"]
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            if b"Xvfb" in f.read():
                os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError, KeyError):
        pass
    os.remove(info_path)
