"""What the desktop tests share: a script runs itself again on Xvfb in a private D-Bus session
(dbus-run-session), with HOME and the XDG folders in a temporary folder of its own, and exits 77
(skipped), saying why, where Xvfb or the session cannot start."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

INNER = "CIRRODEX_SESSION_WORK"


def skip(why):
    print(f"SKIPPED: {why}")
    sys.exit(77)


def start_xvfb():  # on a display nobody holds, once it takes clients
    first = 200 + os.getpid() % 600
    for n in range(first, first + 20):
        if os.path.exists(f"/tmp/.X{n}-lock"):
            continue
        xvfb = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "640x480x24", "-nolisten", "tcp"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                return xvfb, f":{n}"
            if xvfb.poll() is not None:
                break
            time.sleep(0.1)
        xvfb.kill()
        xvfb.wait()
    return None, None


def outside(script, build):
    for tool in ("Xvfb", "dbus-run-session", "dbus-send"):
        if shutil.which(tool) is None:
            skip(f"{tool} is missing (packages xvfb, dbus)")
    work = tempfile.mkdtemp(prefix="cirrodex-session-")
    xvfb, display = start_xvfb()
    try:
        if xvfb is None:
            skip("Xvfb did not start")
        env = dict(os.environ, DISPLAY=display, CIRRODEX_DEVICE=os.path.join(work, "device"))
        env[INNER] = work
        # Everything the session writes stays in the test's own folder.
        for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"):
            env[name] = os.path.join(work, name.lower())
            os.makedirs(env[name], mode=0o700)
        status = subprocess.call(["dbus-run-session", "--", sys.executable, script, build],
                                 env=env, timeout=150)
        if status != 0 and not os.path.exists(os.path.join(work, "entered")):
            skip("the private D-Bus session did not start")
        sys.exit(status)
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


def run(script, inside):
    """Outside the session, runs `script` inside it; inside, runs inside(build, processes) and
    ends the processes it added to the list."""
    build = os.path.abspath(sys.argv[1])
    if INNER not in os.environ:
        outside(os.path.abspath(script), build)
    open(os.path.join(os.environ[INNER], "entered"), "w").close()
    processes = []
    try:
        inside(build, processes)
    finally:
        for p in reversed(processes):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()
    return 0


def eventually(find, seconds, what):
    deadline = time.monotonic() + seconds
    while not (found := find()):
        assert time.monotonic() < deadline, f"not within {seconds} s: {what}"
        time.sleep(0.2)
    return found
