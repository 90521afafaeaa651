"""The demo's run command started a second time while its own demo runs: it hands over to the
running application, whose window comes back to the front, and returns with status 0; the
first demo runs on. Here the run command starts its own stand-in service, so the desktop has
none of its own.
"""

import os
import signal
import socket
import subprocess

from desktop import ScenarioFailure, check, wait_for
from flows import LOGIN_TITLE

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
RUN_APP = os.path.join(SOURCE, "tools", "run-app.sh")


class OutsideProcess:
    """The application as the run command started it: not a child of this scenario."""

    def __init__(self, pid):
        self.pid = pid
        self.returncode = None

    def poll(self):
        try:
            with open(f"/proc/{self.pid}/stat", encoding="utf-8") as f:
                state = f.read().rpartition(")")[2].split()[0]
        except OSError:
            state = "gone"
        if state in ("Z", "X", "gone"):
            self.returncode = -1  # its parent, the run command, reads the real status
        return self.returncode

    def send_signal(self, number):
        if self.poll() is None:
            os.kill(self.pid, number)

    def kill(self):
        self.send_signal(signal.SIGKILL)


def run_file_value(path, key):
    try:
        with open(path, encoding="utf-8") as f:
            for line in f:
                name, _, value = line.strip().partition("=")
                if name == key and value:
                    return value
    except OSError:
        pass
    return None


def listening(port):
    with socket.socket() as s:
        s.settimeout(1)
        return s.connect_ex(("127.0.0.1", port)) == 0


def login_window_ids(d):
    out = d.run_quiet(["xdotool", "search", "--onlyvisible", "--pid", str(d.app.pid), "--name",
                       f"^{LOGIN_TITLE}$"]) or ""
    return out.split()


def second_start(d):
    runtime = os.path.join(d.root, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(d.app_env(), PEXMORA_APP_BUILD_DIR=d.build)
    run_file = os.path.join(runtime, f"pexmora-run-app-{os.getuid()}-{d.port}")

    first = d.spawn("run-app-1", ["bash", RUN_APP], env=env)
    app = wait_for(lambda: run_file_value(run_file, "app"), 180, "the demo's application")
    d.app = OutsideProcess(int(app))
    d.window(LOGIN_TITLE, 60)
    standin = run_file_value(run_file, "standin")

    # Out of sight, so that coming to the front shows.
    for window in login_window_ids(d):
        d.xdotool("windowminimize", "--sync", window)
    wait_for(lambda: LOGIN_TITLE not in d.visible_window_titles(), 15,
             "the login window minimised")

    try:
        second = subprocess.run(["bash", RUN_APP], env=env, capture_output=True, text=True,
                                timeout=120, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired as error:
        raise ScenarioFailure(f"the second start did not return: {error.stdout}") from error
    output = second.stdout + second.stderr
    with open(os.path.join(d.artifacts, "second-start.log"), "w", encoding="utf-8") as f:
        f.write(output)
    print(output, end="", flush=True)
    check(second.returncode == 0, f"the second start ended with {second.returncode}: {output}")
    check("already in use" not in output, f"the second start refused its own demo: {output}")
    check("the demo already runs" in output, f"the second start said nothing of it: {output}")

    wait_for(lambda: LOGIN_TITLE in d.visible_window_titles(), 20,
             "the login window back on screen")
    check(first.poll() is None and d.app.poll() is None, "the first demo ended")
    check(run_file_value(run_file, "standin") == standin and listening(d.port),
          "the first demo's stand-in no longer serves")

    # The first demo ends as always, and takes its note with it.
    d.app.send_signal(signal.SIGTERM)
    status = first.wait(30)
    check(status == 0, f"the first run command ended with {status}")
    check(not os.path.exists(run_file), "the run file outlived the demo")
    check(not listening(d.port), "the stand-in outlived the demo")
