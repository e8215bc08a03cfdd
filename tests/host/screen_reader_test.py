#!/usr/bin/python3
"""What a screen reader reads of today-host and of the setup sheet, over AT-SPI.

Runs itself twice: outside, it starts Xvfb and re-runs inside a private D-Bus session
(dbus-run-session); inside, it starts the AT-SPI bus, the weather service, stores London's weather,
and reads the accessible trees of today-host and of "Gantrel.exe /current" as Orca would.
Exits 77 (skipped) where the X server, the session bus or the AT-SPI bus cannot start.

Usage: screen_reader_test.py BUILD_DIR
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

SKIPPED = 77
LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SETTINGS = r"HKCU\SOFTWARE\Velbrook\Cirrodex"
CITY_KEY = SETTINGS + r"\UKXX0085"


def skip(why):
    print(f"SKIPPED: {why}")
    sys.exit(SKIPPED)


def start_xvfb():
    """An X server on a display number nobody holds, ready for clients; (None, None) when none
    starts."""
    first = 200 + os.getpid() % 600
    for display in range(first, first + 20):
        if os.path.exists(f"/tmp/.X{display}-lock"):
            continue
        xvfb = subprocess.Popen(["Xvfb", f":{display}", "-screen", "0", "640x480x24", "-nolisten",
                                 "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if xvfb.poll() is not None:
                break
            if os.path.exists(f"/tmp/.X11-unix/X{display}"):
                return xvfb, str(display)
            time.sleep(0.1)
        xvfb.kill()
        xvfb.wait()
    return None, None


def outside(build):
    for tool in ("Xvfb", "dbus-run-session", "dbus-send"):
        if shutil.which(tool) is None:
            skip(f"{tool} is missing (packages xvfb, dbus)")
    if not os.access(LAUNCHER, os.X_OK):
        skip("the AT-SPI bus launcher is missing (package at-spi2-core)")
    try:
        import pyatspi  # noqa: F401
    except ImportError:
        skip("python3-pyatspi is missing")
    work = tempfile.mkdtemp(prefix="cirrodex-a11y-")
    xvfb, display = start_xvfb()
    try:
        if xvfb is None:
            skip("Xvfb did not start")
        env = dict(os.environ, DISPLAY=":" + display, CIRRODEX_A11Y_INNER="1",
                   CIRRODEX_DEVICE=os.path.join(work, "device"))
        # Everything the session writes stays in the test's own folder.
        for name in ("HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                     "XDG_DATA_HOME"):
            env[name] = os.path.join(work, name.lower())
            os.makedirs(env[name], mode=0o700)
        try:
            status = subprocess.call(["dbus-run-session", "--", sys.executable,
                                      os.path.abspath(__file__), build], env=env, timeout=150)
        except subprocess.TimeoutExpired:
            status = 1
            print("the test did not end within 150 s")
        sys.exit(status)
    finally:
        if xvfb is not None:
            xvfb.terminate()
            xvfb.wait()
        shutil.rmtree(work, ignore_errors=True)


class Session:
    """The processes of one run, stopped in reverse order."""

    def __init__(self, build):
        self.bin = os.path.join(build, "bin")
        self.device = os.environ["CIRRODEX_DEVICE"]
        self.processes = []

    def start(self, argv, **kwargs):
        p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, **kwargs)
        self.processes.append(p)
        return p

    def run(self, *argv):
        return subprocess.run(argv, check=True, capture_output=True, text=True).stdout

    def reg(self, *args):
        return self.run(os.path.join(self.bin, "cirrodex-reg"), *args)

    def stop(self):
        for p in reversed(self.processes):
            p.terminate()
            try:
                p.wait(5)
            except subprocess.TimeoutExpired:
                p.kill()


def eventually(find, seconds, what):
    deadline = time.monotonic() + seconds
    while True:
        found = find()
        if found:
            return found
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {seconds} s: {what}")
        time.sleep(0.2)


def descendants(node, depth=0):
    if node is None or depth > 30:
        return
    yield node
    for i in range(node.childCount):
        yield from descendants(node.getChildAtIndex(i), depth + 1)


def application(pyatspi, name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    return None


def find(pyatspi, app_name, test):
    app = application(pyatspi, app_name)
    if app is None:
        return None
    for node in descendants(app):
        try:
            if test(node):
                return node
        except Exception:  # an object that went away while it was read
            pass
    return None


def showing(pyatspi, node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def inside(session, build):
    bus = subprocess.Popen([LAUNCHER, "--launch-immediately"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    session.processes.append(bus)
    address = ""
    for _ in range(50):
        probe = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                               capture_output=True, text=True)
        address = probe.stdout if probe.returncode == 0 else ""
        if "unix:" in address:
            break
        time.sleep(0.1)
    if "unix:" not in address:
        skip("the AT-SPI bus did not start")
    import pyatspi
    from gi.repository import GLib

    # Made-up weather from the service, stored by one download run.
    service = subprocess.Popen([os.path.join(session.bin, "weather-service"), "--port", "0",
                                "--upstream", "none"], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    session.processes.append(service)
    port = None
    for line in service.stdout:
        port = re.match(r"listening on http://127\.0\.0\.1:(\d+)", line)
        if port:
            break
    assert port, "the weather service did not start"
    port = port.group(1)
    os.environ["CIRRODEX_FEED_BASE"] = \
        f"http://127.0.0.1:{port}/m/chnk/d/weather_d_src.asp?acid="
    session.run(os.path.join(session.bin, "cirrodex-install"), "--register")
    gantrel = os.path.join(session.device, "program files", "velbrook", "nimbrel", "Gantrel.exe")
    session.run(gantrel, "/downloadandexit")
    feed = session.reg("query", CITY_KEY, "/v", "WeatherPreviousData")
    city = re.search(r'swCity = "([^"]*)"', feed).group(1)
    fahrenheit = int(re.search(r'swTemp = "(-?\d+)"', feed).group(1))
    celsius = math.trunc((fahrenheit - 32) * 5 / 9 + 0.5)
    session.reg("add", SETTINGS, "/v", "TemperatureUnits", "/t", "REG_DWORD", "/d", "0", "/f")

    os.environ.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    session.start([os.path.join(session.bin, "today-host")])
    item = eventually(lambda: find(pyatspi, "today-host",
                                   lambda n: n.getRoleName() == "push button"), 15,
                      "today-host's item")
    assert item.name == city, f"item named {item.name!r}, not {city!r}"
    assert item.description.startswith(f"{city}: "), item.description
    assert f" {celsius} °C, today " in item.description, item.description

    # A screen reader that follows the item hears the new text when the unit changes.
    heard = []
    loop = GLib.MainLoop()

    def on_change(event):
        if event.source is not None and event.source.name == city:
            heard.append(event.source.description)
            if f" {fahrenheit} °F" in heard[-1]:
                loop.quit()

    pyatspi.Registry.registerEventListener(on_change,
                                           "object:property-change:accessible-description")
    session.reg("add", SETTINGS, "/v", "TemperatureUnits", "/t", "REG_DWORD", "/d", "1", "/f")
    GLib.timeout_add_seconds(25, loop.quit)
    loop.run()
    pyatspi.Registry.deregisterEventListener(on_change,
                                             "object:property-change:accessible-description")
    assert heard and f" {fahrenheit} °F" in heard[-1], f"heard {heard!r}"

    # The sheet on its Current page, in the unit now stored.
    session.start([gantrel, "/current"])
    current = eventually(lambda: find(pyatspi, "Gantrel.exe", lambda n: n.name == "Current" and
                                      n.getRoleName() == "filler" and n.description), 30,
                         "the Current page's text")
    assert f"{city}/" in current.description, current.description
    assert f"Temperature: {fahrenheit} °F." in current.description, current.description
    assert "Temperature history of " in current.description, current.description

    tab = find(pyatspi, "Gantrel.exe",
               lambda n: n.getRoleName() == "page tab" and n.name == "Locations")
    assert tab is not None, "no Locations tab"
    tab.queryAction().doAction(0)
    page = eventually(lambda: find(pyatspi, "Gantrel.exe", lambda n: n.name == "Locations" and
                                   n.getRoleName() == "filler" and showing(pyatspi, n)), 10,
                      "the Locations page")
    edits = [n for n in descendants(page) if n.getRoleName() == "text"]
    assert len(edits) == 6, f"{len(edits)} edits on the Locations page"
    names = [e.name for e in edits]
    assert all(names), f"nameless edits: {names!r}"
    # The default city list: London in the main slot, three visiting slots left empty.
    assert names[0] == "Code of the main city, London", names
    assert names[5] == "Code of the visiting city 6, not set", names
    print("read:", item.description)


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    build = os.path.abspath(sys.argv[1])
    if os.environ.get("CIRRODEX_A11Y_INNER") != "1":
        outside(build)
    session = Session(build)
    try:
        inside(session, build)
    finally:
        session.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
