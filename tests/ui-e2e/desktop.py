"""A private desktop for driving the real application as a user would.

Everything runs inside the network namespace and the D-Bus session that run-scenario.sh made
for this one scenario: a virtual X display with a small window manager, the accessibility bus,
a PulseAudio server of its own (speakers, a microphone, the loopback), the stand-in service on
the ports the application was built for (free here: the namespace has its own loopback), and
the application itself with a home folder of its own.

The application is found and pressed through the accessibility tree (AT-SPI), with xdotool for
pointer clicks where a control offers no action; what it did is judged from outside: windows,
the stand-in's record of requests, the history database, the sound server, the recording.
"""

import json
import os
import re
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import urllib.request

import pyatspi

PHONE = "13800138000"
SMS_CODE = "123456"
APP_NAME = "Pexmora"
LOOPBACK = "velqoOutput 2ch"
GL_DRIVER = re.compile(r"libGL\.so|libGLX_[a-z]|libEGL_[a-z]|_dri\.so|libglapi|libgallium|libLLVM")


class ScenarioFailure(AssertionError):
    pass


def wait_for(predicate, timeout, what, interval=0.2):
    """Polls `predicate` until it gives a true value, which is returned."""
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            value = predicate()
            if value:
                return value
        except (RuntimeError, LookupError, OSError, sqlite3.Error) as error:
            last_error = error  # the tree or a file changed under us; ask again
        if time.monotonic() >= deadline:
            detail = f" (last error: {last_error})" if last_error else ""
            raise ScenarioFailure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


class Desktop:
    def __init__(self, name, build, artifacts):
        self.name = name
        self.build = build
        self.artifacts = artifacts
        self.root = tempfile.mkdtemp(prefix=f"pexmora-e2e-{name}-")
        self.home = os.path.join(self.root, "home")
        self.processes = []  # (label, Popen), stopped in reverse order
        self.app = None
        self.app_runs = 0
        self.mounted = []  # file systems mounted for this scenario
        self.env = dict(os.environ)
        os.makedirs(self.home)
        os.makedirs(artifacts, exist_ok=True)
        self.read_ports()

    # ---- set-up -------------------------------------------------------------------------

    def read_ports(self):
        cache = {}
        with open(os.path.join(self.build, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                if ":" in line and "=" in line:
                    key, _, value = line.strip().partition("=")
                    cache[key.split(":")[0]] = value
        self.port = int(cache["PEXMORA_STANDIN_PORT"])
        self.speech_port = int(cache["PEXMORA_STANDIN_SPEECH_PORT"])
        self.sanitized = cache.get("PEXMORA_SANITIZE", "OFF").upper() in ("ON", "TRUE", "1")

    def spawn(self, label, argv, env=None, log=None):
        out = open(os.path.join(self.root, f"{label}.log"), "wb") if log is None else log
        process = subprocess.Popen(argv, env=env or self.env, stdout=out,
                                   stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        self.processes.append((label, process))
        return process

    def start(self, standin=True):
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        self.start_display()
        self.start_accessibility_bus()
        self.start_sound_server()
        if standin:
            self.start_standin()

    def start_display(self):
        # Servers started side by side now and then fail to compile their keymap and exit at
        # once; another try starts cleanly.
        for _ in range(3):
            display = self.start_xvfb()
            if display:
                break
            time.sleep(0.5)
        check(display, "Xvfb gave no display")
        self.env["DISPLAY"] = f":{display}"
        self.spawn("openbox", ["openbox", "--sm-disable"])
        wait_for(lambda: self.run_quiet(["xdotool", "getactivewindow"]) is not None or
                 self.run_quiet(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]), 10,
                 "the window manager")

    def start_xvfb(self):
        """A virtual display's number, or "" when the server ended without one."""
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1600x1000x24", "-nolisten",
             "tcp", "-noreset"], pass_fds=[write_end], stdout=subprocess.DEVNULL,
            stderr=open(os.path.join(self.root, "xvfb.log"), "ab"))
        self.processes.append(("xvfb", xvfb))
        os.close(write_end)
        with os.fdopen(read_end) as f:
            return f.readline().strip()

    def start_accessibility_bus(self):
        self.spawn("at-spi", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
        os.environ.update({"DISPLAY": self.env["DISPLAY"]})
        wait_for(lambda: self.run_quiet(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
             "org.a11y.Bus.GetAddress"]), 10, "the accessibility bus")

    def start_sound_server(self):
        pulse = os.path.join(self.root, "pulse")
        os.makedirs(os.path.join(pulse, "runtime"))
        os.makedirs(os.path.join(pulse, "state"))
        with open(os.path.join(pulse, "server.pa"), "w", encoding="utf-8") as f:
            f.write(f"load-module module-native-protocol-unix socket={pulse}/native "
                    "auth-anonymous=1\n")
            f.write("load-module module-null-sink sink_name=speakers "
                    "sink_properties=device.description=Speakers\n")
            f.write("load-module module-null-source source_name=microphone "
                    "description=Microphone\n")
            f.write("load-module module-null-sink sink_name=velqoOutput_2ch channels=2 "
                    f"sink_properties=\"device.description='{LOOPBACK}'\"\n")
            f.write("set-default-sink speakers\nset-default-source microphone\n")
        self.env["PULSE_SERVER"] = f"unix:{pulse}/native"
        os.environ["PULSE_SERVER"] = self.env["PULSE_SERVER"]
        server_env = dict(self.env, HOME=pulse, XDG_RUNTIME_DIR=f"{pulse}/runtime",
                          XDG_CONFIG_HOME=pulse, PULSE_RUNTIME_PATH=f"{pulse}/runtime",
                          PULSE_STATE_PATH=f"{pulse}/state")
        self.spawn("pulseaudio", [
            "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--system=no",
            "--use-pid-file=no", "--realtime=no", "--high-priority=no", "--log-target=stderr",
            "--log-level=error", "-F", f"{pulse}/server.pa"], env=server_env)
        wait_for(lambda: self.run_quiet(["pactl", "info"]), 10, "the sound server")

    def start_standin(self):
        standin = os.path.join(self.build, "tools", "standin-service", "standin-service")
        self.spawn("standin", [standin, "--port", str(self.port), "--speech-port",
                               str(self.speech_port), "--control"],
                   env=dict(self.env, HOME=os.path.join(self.root, "standin")))
        wait_for(lambda: self.standin_get("/standin/requests") is not None, 10,
                 "the stand-in service")

    # ---- the application ---------------------------------------------------------------

    def app_env(self):
        return dict(
            self.env, HOME=self.home, XDG_CONFIG_HOME=f"{self.home}/.config",
            XDG_DATA_HOME=f"{self.home}/.local/share", XDG_CACHE_HOME=f"{self.home}/.cache",
            XDG_STATE_HOME=f"{self.home}/.local/state", XDG_RUNTIME_DIR=f"{self.root}/runtime",
            QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1", QT_QPA_PLATFORM="xcb",
            QTWEBENGINE_DISABLE_SANDBOX="1",
            QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox", LANG="C.UTF-8",
            ASAN_OPTIONS=self.app_sanitizer_options())

    def app_sanitizer_options(self):
        # The web engine's own code frees some of its objects through a base of another size
        # when the captcha page goes; that is the distribution's library, not ours, and under
        # AddressSanitizer it would end the program at every sign-in. The unit tests keep the
        # check for our code.
        options = self.env.get("ASAN_OPTIONS", "")
        return ":".join(filter(None, [options, "new_delete_type_mismatch=0"]))

    def launch(self):
        os.makedirs(f"{self.root}/runtime", mode=0o700, exist_ok=True)
        self.app_runs += 1
        log = open(os.path.join(self.artifacts, f"console-{self.app_runs}.log"), "wb")
        binary = os.path.join(self.build, "bin", "pexmora")
        self.app = self.spawn(f"pexmora-{self.app_runs}", [binary], env=self.app_env(), log=log)
        return self.app

    def data_folder(self):
        return os.path.dirname(self.documents())

    def mount_small_data_folder(self, size_mb):
        """The application's data folder on a file system of its own, `size_mb` large, in this
        scenario's mount namespace: it fills up without touching the machine's disk."""
        folder = self.data_folder()
        os.makedirs(folder, mode=0o700, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size_mb}m,mode=0700", "tmpfs",
                        folder], check=True)
        self.mounted.append(folder)

    def fill_data_folder(self):
        """Writes one file into the data folder until its file system has no room left."""
        block = b"\0" * (64 * 1024)
        with open(os.path.join(self.data_folder(), "filler"), "wb", buffering=0) as f:
            try:
                while True:
                    f.write(block)
            except OSError:
                pass  # full
            try:
                while True:  # the last few bytes, so no write of any size fits
                    f.write(b"\0")
            except OSError:
                pass

    def app_running(self):
        return self.app is not None and self.app.poll() is None

    def wait_exit(self, timeout):
        wait_for(lambda: not self.app_running(), timeout, "the application to exit")
        return self.app.returncode

    def app_memory_kb(self, field=None):
        """The application's memory lines from /proc (VmRSS, VmHWM, ...) in KiB; one of them
        when `field` is given."""
        values = {}
        with open(f"/proc/{self.app.pid}/status", encoding="utf-8") as f:
            for line in f:
                name, _, rest = line.partition(":")
                if name.startswith("Vm"):
                    values[name] = int(rest.split()[0])
        return values[field] if field else values

    def helper_pids(self):
        """The application's captcha helper processes now running."""
        pids = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/stat", encoding="utf-8") as f:
                    name, _, rest = f.read().rpartition(")")
                if int(rest.split()[1]) == self.app.pid and "(pexmora-captch" in name:
                    pids.append(int(entry))
            except (OSError, ValueError, IndexError):
                continue  # gone meanwhile
        return pids

    def gl_drivers_mapped(self):
        """The GL driver libraries mapped in the application's process (the vendor-neutral
        dispatch libraries that Qt's GUI library links are no driver)."""
        with open(f"/proc/{self.app.pid}/maps", encoding="utf-8") as f:
            return sorted({line.split()[-1] for line in f if GL_DRIVER.search(line)})

    def reset_app_peak_memory(self):
        """From now on the peak (VmHWM) counts from the memory in use now."""
        with open(f"/proc/{self.app.pid}/clear_refs", "w", encoding="utf-8") as f:
            f.write("5")

    def signal_app(self, number):
        self.app.send_signal(number)

    # ---- accessibility -----------------------------------------------------------------

    def applications(self):
        """The accessible applications of the program, (pid, application): its own, then its
        helpers'."""
        pids = [self.app.pid] + self.helper_pids()
        found = {}
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            child = desktop.getChildAtIndex(index)
            if child is not None and child.name == APP_NAME:
                try:
                    pid = child.get_process_id()
                except (RuntimeError, AttributeError):
                    pid = self.app.pid
                if pid in pids:
                    found.setdefault(pid, child)
        return [(pid, found[pid]) for pid in pids if pid in found]

    def application(self):
        return next((app for pid, app in self.applications() if pid == self.app.pid), None)

    def windows(self):
        """The windows of the program and of its helpers (the captcha page's)."""
        windows = []
        for pid, app in self.applications():
            try:
                # Each child read once: a window that closes meanwhile reads as None.
                children = (app.getChildAtIndex(i) for i in range(app.childCount))
                windows += [child for child in children if child is not None]
            except Exception:  # a helper that just ended; the application's own errors count
                if pid == self.app.pid:
                    raise
        return windows

    def window(self, title, timeout=20):
        """The showing window titled `title`."""
        return wait_for(lambda: next((w for w in self.windows() if w.name == title and
                                      showing(w)), None), timeout, f"the window \"{title}\"")

    def find(self, root, name=None, role=None, timeout=15, what=None):
        return wait_for(lambda: find_in(root, name, role), timeout,
                        what or f"\"{name}\" ({role or 'any role'}) in \"{root.name}\"")

    def press(self, accessible):
        try:
            action = accessible.queryAction()
            for i in range(action.nActions):
                if action.getName(i).lower() in ("press", "click", "toggle"):
                    action.doAction(i)
                    return
        except NotImplementedError:
            pass
        self.click(accessible)

    def click(self, accessible, dx=None, dy=None):
        x, y, width, height = extents(accessible)
        px = x + (width // 2 if dx is None else dx)
        py = y + (height // 2 if dy is None else dy)
        self.xdotool("mousemove", "--sync", str(px), str(py), "click", "1")

    def set_text(self, accessible, text):
        accessible.queryEditableText().setTextContents(text)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env, check=True,
                              capture_output=True, text=True).stdout

    def visible_window_titles(self):
        """Titles of the program's windows (its helpers' too) that are mapped on the X screen."""
        out = ""
        for pid in [self.app.pid] + self.helper_pids():
            out += (self.run_quiet(["xdotool", "search", "--onlyvisible", "--pid", str(pid)]) or
                    "") + " "
        titles = []
        for window in out.split():
            name = self.run_quiet(["xdotool", "getwindowname", window])
            if name is not None and name.strip():
                titles.append(name.strip())
        return sorted(titles)

    def stacking_titles(self):
        """Titles of the windows the window manager manages, bottom to top."""
        out = self.run_quiet(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]) or ""
        ids = [part.strip().rstrip(",") for part in out.split("#")[-1].split(",")]
        titles = []
        for window in ids:
            if not window:
                continue
            name = self.run_quiet(["xdotool", "getwindowname", str(int(window, 16))])
            titles.append((name or "").strip())
        return titles

    def active_window_title(self):
        """The title of the window that has the keyboard, as the window manager says."""
        return (self.run_quiet(["xdotool", "getactivewindow", "getwindowname"]) or "").strip()

    def app_windows_titled(self, title):
        """The X windows of the application titled `title` that are mapped."""
        # Compared here: xdotool's own name pattern does not take every title.
        mapped = (self.run_quiet(["xdotool", "search", "--onlyvisible", "--pid",
                                  str(self.app.pid)]) or "").split()
        return [window for window in mapped
                if (self.run_quiet(["xdotool", "getwindowname", window]) or "").strip() == title]

    def minimize(self, title):
        """Puts the window titled `title` away, as its title bar's button does."""
        for window in self.app_windows_titled(title):
            self.xdotool("windowminimize", "--sync", window)

    def move_window(self, title, x, y):
        """Drags the window titled `title` to `x`, `y` on the screen."""
        for window in self.app_windows_titled(title):
            self.xdotool("windowmove", "--sync", window, str(x), str(y))

    def find_any(self, name, role, timeout=10):
        """`name` in any window of the application, showing or not (menu items)."""
        def search():
            for window in self.windows():
                found = find_anywhere(window, name, role)
                if found is not None:
                    return found
            return None
        return wait_for(search, timeout, f"\"{name}\" ({role}) anywhere")

    def find_any_showing(self, name, role=None, timeout=15, required=True):
        """`name` (and `role`) showing in any window of the application."""
        def search():
            for window in self.windows():
                if showing(window):
                    found = find_in(window, name, role)
                    if found is not None:
                        return found
            return None
        if not required:
            try:
                return wait_for(search, timeout, name)
            except ScenarioFailure:
                return None
        return wait_for(search, timeout, f"\"{name}\" in a window of the application")

    # ---- outside views -----------------------------------------------------------------

    def run_quiet(self, argv):
        result = subprocess.run(argv, env=self.env, capture_output=True, text=True)
        return result.stdout if result.returncode == 0 else None

    def standin_get(self, path):
        try:
            with urllib.request.urlopen(f"http://127.0.0.1:{self.port}{path}", timeout=5) as r:
                return json.loads(r.read().decode("utf-8"))
        except (OSError, ValueError):
            return None

    def standin_send(self, method, path, body=None):
        data = json.dumps(body).encode("utf-8") if body is not None else None
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}{path}", data=data,
                                         method=method,
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=5) as r:
            return json.loads(r.read().decode("utf-8"))

    def fault(self, route, **fields):
        self.standin_send("POST", "/standin/faults", dict(fields, route=route))

    def requests(self, route=None):
        every = self.standin_get("/standin/requests") or []
        return [r for r in every if route is None or r["route"] == route]

    def sound_server(self):
        """What the application may change on the sound server: defaults and modules."""
        modules = self.run_quiet(["pactl", "list", "short", "modules"]) or ""
        return {
            "sink": (self.run_quiet(["pactl", "get-default-sink"]) or "").strip(),
            "source": (self.run_quiet(["pactl", "get-default-source"]) or "").strip(),
            "modules": sorted(line.split("\t")[1] + " " + (line.split("\t") + ["", ""])[2]
                              for line in modules.splitlines() if "\t" in line),
        }

    def documents(self):
        return os.path.join(self.home, ".local", "share", "Pexmora", "Documents")

    def history_rows(self):
        path = os.path.join(self.documents(), "GRDB", "history.sqlite")
        if not os.path.exists(path):
            return {}
        with sqlite3.connect(f"file:{path}?mode=ro", uri=True) as db:
            return {table: db.execute(f"SELECT * FROM {table}").fetchall()
                    for table in ("historyRecord", "translationDetailRecord",
                                  "aiResponseDetailRecord")}

    def history_query(self, sql):
        """The rows `sql` reads from the history database (none before it exists)."""
        path = os.path.join(self.documents(), "GRDB", "history.sqlite")
        if not os.path.exists(path):
            return []
        with sqlite3.connect(f"file:{path}?mode=ro", uri=True) as db:
            return db.execute(sql).fetchall()

    def recording_info(self, path):
        out = self.run_quiet(["sndfile-info", path])
        return out or ""

    def play(self, wav):
        """Plays `wav` on the sound server's default output, to its end."""
        subprocess.run(["paplay", wav], env=self.env, check=True, timeout=60)

    def speech(self, text, name):
        path = os.path.join(self.root, f"{name}.wav")
        subprocess.run(["espeak-ng", "-v", "en", "-s", "150", "-w", path, text], check=True,
                       capture_output=True)
        return path

    # ---- ending ------------------------------------------------------------------------

    def keep_artifacts(self):
        """A screenshot of the screen and every log, for a scenario that failed."""
        if "DISPLAY" in self.env:
            subprocess.run(["import", "-window", "root",
                            os.path.join(self.artifacts, "screenshot.png")], env=self.env,
                           capture_output=True, timeout=20)
        for entry in os.listdir(self.root):
            if entry.endswith(".log"):
                shutil.copy(os.path.join(self.root, entry), self.artifacts)
        with open(os.path.join(self.artifacts, "standin-requests.json"), "w",
                  encoding="utf-8") as f:
            json.dump(self.requests(), f, ensure_ascii=False, indent=1)

    def stop(self):
        for _, process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
        deadline = time.monotonic() + 5
        for _, process in reversed(self.processes):
            try:
                process.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        for folder in reversed(self.mounted):
            subprocess.run(["umount", "-l", folder], capture_output=True)
        shutil.rmtree(self.root, ignore_errors=True)


# ---- the accessibility tree -------------------------------------------------------------

def showing(accessible):
    if accessible is None:  # gone since it was found
        return False
    try:
        return accessible.getState().contains(pyatspi.STATE_SHOWING)
    except RuntimeError:
        return False


def extents(accessible):
    box = accessible.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def role_name(accessible):
    try:
        return accessible.getRoleName()
    except RuntimeError:
        return ""


def descendants(root, only_showing=False):
    """Every descendant of `root`; with `only_showing`, none that is hidden or below one."""
    stack = [root]
    while stack:
        node = stack.pop()
        for index in range(node.childCount):
            child = node.getChildAtIndex(index)
            if child is None or (only_showing and not showing(child)):
                continue
            yield child
            stack.append(child)


def find_in(root, name=None, role=None, depth=0):
    """The first showing descendant of `root` with that name and role (depth first)."""
    if root is None or depth > 25:
        return None
    for index in range(root.childCount):
        child = root.getChildAtIndex(index)
        if child is None or not showing(child):
            continue
        if (name is None or child.name == name) and (role is None or role_name(child) == role):
            return child
        found = find_in(child, name, role, depth + 1)
        if found is not None:
            return found
    return None


def find_anywhere(root, name, role, depth=0):
    """The first descendant with that name and role, showing or not."""
    if root is None or depth > 12:
        return None
    for index in range(root.childCount):
        child = root.getChildAtIndex(index)
        if child is None:
            continue
        if child.name == name and role_name(child) == role:
            return child
        found = find_anywhere(child, name, role, depth + 1)
        if found is not None:
            return found
    return None


def dump(root, depth=0, limit=12):
    """The tree below `root`, one line per node (for a failure's artifacts)."""
    lines = []
    if root is None or depth > limit:
        return lines
    for index in range(root.childCount):
        child = root.getChildAtIndex(index)
        if child is None:
            continue
        state = "showing" if showing(child) else "hidden"
        lines.append(f"{'  ' * depth}{role_name(child)} \"{child.name}\" {state}")
        lines.extend(dump(child, depth + 1, limit))
    return lines
