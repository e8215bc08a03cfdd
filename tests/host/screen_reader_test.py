#!/usr/bin/python3
"""What a screen reader reads of today-host and of the setup sheet, over AT-SPI.

Outside, starts Xvfb and runs itself again in a private D-Bus session (dbus-run-session); inside,
starts the AT-SPI bus and the weather service, stores London's weather and reads the accessible
trees of today-host and of "Gantrel.exe /current" as Orca would. Exits 77 (skipped), saying why,
where the X server, the session bus or the AT-SPI bus cannot start.

Usage: screen_reader_test.py BUILD_DIR
"""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

from desktop_session import INNER, eventually, run, skip

LAUNCHER = "/usr/libexec/at-spi-bus-launcher"
SETTINGS = r"HKCU\SOFTWARE\Velbrook\Cirrodex"


def checks():
    if not os.access(LAUNCHER, os.X_OK):
        skip("the AT-SPI bus launcher is missing (package at-spi2-core)")
    # Asked in a process of its own with a home that is thrown away: a library that finds no
    # session bus may start one through X11 and note it under ~/.dbus.
    home = tempfile.mkdtemp(prefix="cirrodex-pyatspi-")
    try:
        env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=home, XDG_CONFIG_HOME=home,
                   XDG_CACHE_HOME=home, DISPLAY="")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        found = subprocess.call([sys.executable, "-c", "import pyatspi"], env=env,
                                stderr=subprocess.DEVNULL) == 0
    finally:
        shutil.rmtree(home, ignore_errors=True)
    if not found:
        skip("python3-pyatspi is missing")


def descendants(node, depth=0):
    if node is not None and depth < 30:
        yield node
        for i in range(node.childCount):
            yield from descendants(node.getChildAtIndex(i), depth + 1)


def find(pyatspi, app_name, test):
    desktop = pyatspi.Registry.getDesktop(0)
    apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
    for app in (a for a in apps if a is not None and a.name == app_name):
        for node in descendants(app):
            try:
                if test(node):
                    return node
            except Exception:  # an object that went away while it was read
                pass
    return None


def inside(build, processes):
    def start(*argv, **kwargs):
        processes.append(subprocess.Popen(argv, stdout=subprocess.DEVNULL, **kwargs))
        return processes[-1]

    def run(*argv):
        return subprocess.run(argv, check=True, capture_output=True, text=True).stdout

    start(LAUNCHER, "--launch-immediately", stderr=subprocess.DEVNULL)
    for _ in range(50):
        probe = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
                                "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
                               capture_output=True, text=True)
        if "unix:" in probe.stdout:
            break
        time.sleep(0.1)
    else:
        skip("the AT-SPI bus did not start")
    import pyatspi
    from gi.repository import GLib

    # Made-up weather from the service, stored by one download run.
    binary = os.path.join(build, "bin")
    reg = os.path.join(binary, "cirrodex-reg")
    service = subprocess.Popen([os.path.join(binary, "weather-service"), "--port", "0",
                                "--upstream", "none"], stdout=subprocess.PIPE, text=True)
    processes.append(service)
    port = next(m.group(1) for line in service.stdout
                if (m := re.match(r"listening on http://127\.0\.0\.1:(\d+)", line)))
    os.environ["CIRRODEX_FEED_BASE"] = f"http://127.0.0.1:{port}/m/chnk/d/weather_d_src.asp?acid="
    run(os.path.join(binary, "cirrodex-install"), "--register")
    gantrel = os.path.join(os.environ["CIRRODEX_DEVICE"], "program files", "velbrook", "nimbrel",
                           "Gantrel.exe")
    run(gantrel, "/downloadandexit")
    feed = run(reg, "query", SETTINGS + r"\UKXX0085", "/v", "WeatherPreviousData")
    city = re.search(r'swCity = "([^"]*)"', feed).group(1)
    # Shown whole, rounded half away from zero; the feed may carry one decimal.
    shown = lambda value: int(math.copysign(math.floor(abs(value) + 0.5), value))
    degrees = float(re.search(r'swTemp = "(-?\d+(?:\.\d+)?)"', feed).group(1))
    fahrenheit, celsius = shown(degrees), shown((degrees - 32) * 5 / 9)

    os.environ.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_QPA_PLATFORM="xcb")
    start(os.path.join(binary, "today-host"))
    item = eventually(lambda: find(pyatspi, "cirrodex-today",
                                   lambda n: n.getRoleName() == "push button"), 15, "the item")
    assert item.name == city, f"item named {item.name!r}, not {city!r}"
    assert item.description.startswith(f"{city}: "), item.description
    assert f" {celsius} °C, today " in item.description, item.description

    # A screen reader that follows the item hears the new text when the unit changes.
    heard = []
    loop = GLib.MainLoop()
    kind = "object:property-change:accessible-description"

    def on_change(event):
        heard.append(event.source.description if event.source is not None else "")
        if f" {fahrenheit} °F" in heard[-1]:
            loop.quit()

    pyatspi.Registry.registerEventListener(on_change, kind)
    run(reg, "add", SETTINGS, "/v", "TemperatureUnits", "/t", "REG_DWORD", "/d", "1", "/f")
    GLib.timeout_add_seconds(25, loop.quit)
    loop.run()
    pyatspi.Registry.deregisterEventListener(on_change, kind)
    assert heard and f" {fahrenheit} °F" in heard[-1], f"heard {heard!r}"

    # The sheet on its Current page, in the unit now stored, then its Locations page.
    start(gantrel, "/current")
    current = eventually(lambda: find(pyatspi, "cirrodex-setup", lambda n: n.name == "Current" and
                                      n.getRoleName() == "filler" and n.description), 30,
                         "the Current page's text")
    for said in (f"{city}/", f"Temperature: {fahrenheit} °F.", "Temperature history of "):
        assert said in current.description, current.description
    find(pyatspi, "cirrodex-setup", lambda n: n.getRoleName() == "page tab" and
         n.name == "Locations").queryAction().doAction(0)
    page = eventually(lambda: find(pyatspi, "cirrodex-setup", lambda n: n.name == "Locations" and
                                   n.getRoleName() == "filler" and
                                   n.getState().contains(pyatspi.STATE_SHOWING)), 10, "Locations")
    names = [n.name for n in descendants(page) if n.getRoleName() == "text"]
    # The default city list: London in the main slot, the last three slots empty.
    assert len(names) == 6 and all(names), f"edits named {names!r}"
    assert names[0] == "Code of the main city, London", names
    assert names[5] == "Code of the visiting city 6, not set", names


if __name__ == "__main__":
    if INNER not in os.environ:
        checks()
    sys.exit(run(__file__, inside))
