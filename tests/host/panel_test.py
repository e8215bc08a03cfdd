#!/usr/bin/python3
"""today-host --tray in a desktop's panel, over a private D-Bus session under Xvfb.

Runs itself again on Xvfb in a private D-Bus session (desktop_session.py); there, starts a
stand-in org.kde.StatusNotifierWatcher (this file with --watcher) that prints each item
that registers, stores made-up weather and drives the item: its tooltip, its icon after a unit
change, its menu, its click, and the host without a watcher or a bus. A stand-in notification
server (--notifications) and forecast API then check the rain notice. Exits 77 (skipped), saying
why, where Xvfb, the session bus or python3-dbus is missing.

Usage: panel_test.py BUILD_DIR
"""
import http.server
import json
import math
import os
import re
import shutil
import subprocess
import sys
import threading
import time

from desktop_session import INNER, eventually, run, skip

SETTINGS = r"HKCU\SOFTWARE\Velbrook\Cirrodex"
ITEM = "org.kde.StatusNotifierItem"
WATCHER = "org.kde.StatusNotifierWatcher"


def checks():
    if shutil.which("xwininfo") is None:
        skip("xwininfo is missing (package x11-utils)")
    try:
        import dbus  # noqa: F401
        from gi.repository import GLib  # noqa: F401
    except ImportError:
        skip("python3-dbus or python3-gi is missing")


def watcher():
    """The stand-in watcher: records registrations, prints each service name on a line."""
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()

    # Qt reads the watcher's properties only where introspection lists them.
    introspection = f"""<node><interface name="{WATCHER}">
      <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
      <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
      <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
      <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
      <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
      <property name="ProtocolVersion" type="i" access="read"/>
      </interface><interface name="{dbus.PROPERTIES_IFACE}">
      <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>
        <arg type="v" direction="out"/></method>
      <method name="GetAll"><arg type="s" direction="in"/><arg type="a{{sv}}" direction="out"/>
      </method></interface></node>"""

    class Watcher(dbus.service.Object):
        def __init__(self):
            super().__init__(bus, "/StatusNotifierWatcher")
            self.items = []

        @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
        def RegisterStatusNotifierItem(self, service, sender=None):
            # An item may pass its object path only; its bus name is then the sender's.
            name = service if not service.startswith("/") else f"{sender}{service}"
            self.items.append(name)
            print(name, flush=True)
            self.StatusNotifierItemRegistered(name)

        @dbus.service.method(WATCHER, in_signature="s")
        def RegisterStatusNotifierHost(self, service):
            pass

        @dbus.service.signal(WATCHER, signature="s")
        def StatusNotifierItemRegistered(self, service):
            pass

        @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
        def Introspect(self):
            return introspection

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
        def Get(self, interface, prop):
            return self.GetAll(interface)[prop]

        @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
        def GetAll(self, interface):
            return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                    "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}

    keep = Watcher(), dbus.service.BusName(WATCHER, bus)  # noqa: F841 (released when dropped)
    print("ready", flush=True)
    GLib.MainLoop().run()


def notifications():
    """The stand-in notification server: prints the summary of each Notify call on a line."""
    import dbus
    import dbus.service
    from dbus.mainloop.glib import DBusGMainLoop
    from gi.repository import GLib

    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = "org.freedesktop.Notifications"

    class Server(dbus.service.Object):
        @dbus.service.method(name, in_signature="susssasa{sv}i", out_signature="u")
        def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
            print(summary, flush=True)
            return dbus.UInt32(1)

    keep = Server(bus, "/org/freedesktop/Notifications"), dbus.service.BusName(name, bus)  # noqa
    print("ready", flush=True)
    GLib.MainLoop().run()


def wet_forecast_api(source):
    """A stand-in forecast API on 127.0.0.1: the London answer at the current quarter hour, dry
    for the next half hour and wet after it. Returns its address and the quarter it answered."""
    answered = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            if not self.path.startswith("/v1/forecast"):
                self.send_error(404)
                return
            quarter = int(time.time()) // 900 * 900
            answered.append(quarter)
            stamp = lambda t, f="%Y-%m-%dT%H:%M": time.strftime(f, time.gmtime(t))
            answer = json.load(open(os.path.join(source, "tests/service/golden/london_fog.json")))
            answer["current"]["time"] = stamp(quarter)
            answer["daily"]["time"] = [stamp(quarter + day * 86400, "%Y-%m-%d")
                                       for day in range(len(answer["daily"]["time"]))]
            hours = [quarter // 3600 * 3600 + h * 3600 for h in range(-2, 50)]
            answer["hourly"] = {"time": [stamp(t) for t in hours], "precipitation": [0.0] * 52}
            # Each value is the quarter hour before its time.
            answer["minutely_15"] = {"time": [stamp(quarter + q * 900) for q in range(10)],
                                     "precipitation": [0.0] * 3 + [0.8] * 7}
            body = json.dumps(answer).encode()
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return f"http://127.0.0.1:{server.server_address[1]}", answered


def window_state():
    """The Today window's map state, or None while it does not exist."""
    probe = subprocess.run(["xwininfo", "-name", "Today"], capture_output=True, text=True)
    found = re.search(r"Map State: (\w+)", probe.stdout)
    return found.group(1) if found else None


def without_panel(host, env, why):
    """The host where no panel can show it: one line saying why, and the window instead."""
    process = subprocess.Popen([host, "--tray"], env=env, stderr=subprocess.PIPE, text=True)
    try:
        line = process.stderr.readline()
        assert "not shown in the panel" in line and why in line, f"said {line!r}"
        eventually(lambda: window_state() == "IsViewable", 15, "the window without a panel")
        assert process.poll() is None, "the host ended"
    finally:
        process.terminate()
        process.wait(10)
    eventually(lambda: window_state() is None, 10, "the window gone")


def inside(build, processes):
    import dbus
    os.environ["QT_QPA_PLATFORM"] = "xcb"
    os.environ.pop("XDG_CURRENT_DESKTOP", None)
    binary = os.path.join(build, "bin")
    host = os.path.join(binary, "today-host")

    # The notices' times are on the device's clock, the stand-in's on GMT.
    os.environ["TZ"] = "UTC"

    def run(*argv):
        return subprocess.run(argv, check=True, capture_output=True, text=True).stdout

    def start_service(*upstream):
        service = subprocess.Popen([os.path.join(binary, "weather-service"), "--port", "0",
                                    *upstream], stdout=subprocess.PIPE, text=True)
        processes.append(service)
        port = next(m.group(1) for line in service.stdout
                    if (m := re.match(r"listening on http://127\.0\.0\.1:(\d+)", line)))
        os.environ["CIRRODEX_FEED_BASE"] = \
            f"http://127.0.0.1:{port}/m/chnk/d/weather_d_src.asp?acid="

    start_service("--upstream", "none")
    reg = os.path.join(binary, "cirrodex-reg")
    run(os.path.join(binary, "cirrodex-install"), "--register")
    gantrel = os.path.join(os.environ["CIRRODEX_DEVICE"], "program files", "velbrook", "nimbrel",
                           "Gantrel.exe")
    run(gantrel, "/downloadandexit")

    def stored_city(code):
        feed = run(reg, "query", SETTINGS + "\\" + code, "/v", "WeatherPreviousData")
        city = re.search(r'swCity = "([^"]*)"', feed).group(1)
        degrees = float(re.search(r'swTemp = "(-?\d+(?:\.\d+)?)"', feed).group(1))
        return city, degrees

    # No watcher on the bus yet, and no bus at all.
    without_panel(host, dict(os.environ), "no StatusNotifierWatcher")
    without_panel(host, {k: v for k, v in os.environ.items() if k != "DBUS_SESSION_BUS_ADDRESS"},
                  "no session bus")

    notices = []
    server = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--notifications"],
                              stdout=subprocess.PIPE, text=True)
    processes.append(server)
    assert server.stdout.readline().strip() == "ready", "the stand-in server did not start"
    threading.Thread(target=lambda: notices.extend(line.strip() for line in server.stdout),
                     daemon=True).start()
    standin = subprocess.Popen([sys.executable, os.path.abspath(__file__), "--watcher"],
                               stdout=subprocess.PIPE, text=True)
    processes.append(standin)
    assert standin.stdout.readline().strip() == "ready", "the stand-in watcher did not start"
    tray = subprocess.Popen([host, "--tray"])
    processes.append(tray)
    registered = standin.stdout.readline().strip()
    assert registered, "no item registered"
    bus = dbus.SessionBus()
    name, _, path = registered.partition("/")
    item = bus.get_object(name, "/" + path if path else "/StatusNotifierItem")
    props = dbus.Interface(item, dbus.PROPERTIES_IFACE)

    def tooltip():
        return " ".join(str(part) for part in props.Get(ITEM, "ToolTip") if isinstance(part, str))

    def pixmaps():
        return {(int(w), int(h)): bytes(data) for w, h, data in props.Get(ITEM, "IconPixmap")}

    # The window starts hidden; the tooltip is the strip as text, in the stored unit.
    assert window_state() in (None, "IsUnMapped"), window_state()
    city, degrees = stored_city("UKXX0085")
    # Shown whole, rounded half away from zero.
    shown = lambda value: int(math.copysign(math.floor(abs(value) + 0.5), value))
    fahrenheit, celsius = shown(degrees), shown((degrees - 32) * 5 / 9)
    text = eventually(lambda: (t := tooltip()) and city in t and t, 15, "the tooltip")
    assert f"{city}: " in text and f" {celsius} °C, " in text, text
    assert any(w == h == 16 for w, h in pixmaps()) and any(w == h == 32 for w, h in pixmaps())
    before = pixmaps()

    # A unit change reaches tooltip and icon on the item's next pass.
    run(reg, "add", SETTINGS, "/v", "TemperatureUnits", "/t", "REG_DWORD", "/d", "1", "/f")
    eventually(lambda: f" {fahrenheit} °F, " in tooltip(), 25, "the tooltip in Fahrenheit")
    if fahrenheit != celsius:
        eventually(lambda: pixmaps() != before, 5, "a new icon in Fahrenheit")

    # The menu: the cities as a radio group; picking Paris selects it as the Locations page does.
    menu = dbus.Interface(bus.get_object(name, props.Get(ITEM, "Menu")), "com.canonical.dbusmenu")
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"))
    entries = {str(child[1].get("label", "")): (int(child[0]), child[1]) for child in layout[2]}
    for label in ("Refresh", "Next hours", "Setup…", "Quit"):
        assert label in entries, f"no {label!r} in {sorted(entries)}"
    paris = next((v for k, v in entries.items() if k.startswith("Paris")), None)
    assert paris and paris[1].get("toggle-type") == "radio", entries
    menu.Event(dbus.Int32(paris[0]), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0))
    paris_city, _ = stored_city("FRXX0076")
    eventually(lambda: paris_city in tooltip(), 10, "the tooltip of Paris")
    assert "0x1" in run(reg, "query", SETTINGS, "/v", "CitySelected"), "Paris is not selected"

    # A click shows the window, a second one hides it again.
    dbus.Interface(item, ITEM).Activate(dbus.Int32(0), dbus.Int32(0))
    eventually(lambda: window_state() == "IsViewable", 10, "the window after a click")
    dbus.Interface(item, ITEM).Activate(dbus.Int32(0), dbus.Int32(0))
    eventually(lambda: window_state() == "IsUnMapped", 10, "the window hidden again")
    assert notices == [], f"notices of made-up weather: {notices}"

    # Live weather turning wet within the hour: one notice, and none for the same rain again.
    tray.terminate()
    tray.wait(10)
    api, answered = wet_forecast_api(os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__)))))
    start_service("--upstream", "open-meteo", "--upstream-url", api + "/v1/forecast",
                  "--radar-url", api + "/radar.json", "--imagery-url", api + "/wms")
    run(reg, "add", SETTINGS, "/v", "CitySelected", "/t", "REG_DWORD", "/d", "0", "/f")
    processes.append(subprocess.Popen([host, "--tray"]))
    eventually(lambda: notices, 40, "a rain notice")
    london, _ = stored_city("UKXX0085")
    assert notices == [f"Rain in {london} from about "
                       f"{time.strftime('%H:%M', time.gmtime(answered[0] + 1800))}"], notices
    run(gantrel, "/downloadandexit")
    time.sleep(12)  # the item's next pass reads the new download
    assert len(notices) == 1, notices


if __name__ == "__main__":
    if sys.argv[1:] == ["--watcher"]:
        sys.exit(watcher())
    if sys.argv[1:] == ["--notifications"]:
        sys.exit(notifications())
    if INNER not in os.environ:
        checks()
    sys.exit(run(__file__, inside))
