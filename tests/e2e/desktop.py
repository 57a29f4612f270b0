"""A throwaway desktop for driving the real program from outside.

One Desktop is a virtual X server with a notification area (trayer), a private session bus
with the accessibility bus behind it, and fresh HOME and XDG folders. The program runs in it
as the user would start it; the tests look at its windows through the accessibility tree
(AT-SPI), act on them with xdotool (pointer and keyboard, as a person would) and read the
database and preferences files it writes.

Nothing here waits a fixed time to decide anything: every wait polls a condition until a
deadline, so a loaded machine only makes the tests slower, not wrong.
"""

import os
import pwd
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from datetime import date, datetime

# CTest's SKIP_RETURN_CODE: only used when no X server can be started.
SKIP_CODE = 77
DEADLINE = 20.0

REGISTRY_KEY = "Software\\Merrowick\\Merrowick Deskware\\Ventaro!"
TITLE = "Merrowick Ventaro!"

# Roles of the controls a user acts on: each of them must carry an accessible name.
ACTED_ON_ROLES = {
    "push button", "toggle button", "check box", "radio button", "combo box", "text",
    "password text", "spin button", "list", "table", "tree table", "tree", "page tab",
    "menu item", "check menu item", "radio menu item", "slider", "date editor",
}


class Skip(Exception):
    """No X server can be started here: the test cannot run at all."""


def log(*parts):
    print(time.strftime("%H:%M:%S"), *parts, flush=True)


def wait_for(condition, what, timeout=DEADLINE, interval=0.15):
    """Polls condition() until it returns something true, and returns that; fails after
    timeout seconds with `what` in the message."""
    end = time.monotonic() + timeout
    last_error = None
    while True:
        try:
            result = condition()
            if result:
                return result
        except Exception as error:  # the tree can change under a query; try again
            last_error = error
        if time.monotonic() >= end:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


# ---- The files the program keeps -----------------------------------------------------------

def ini_group(key):
    """The section name under which the preferences file keeps a registry key."""
    out = []
    for ch in key:
        if ch.isascii() and (ch.isalnum() or ch in "-_."):
            out.append(ch)
        elif ord(ch) <= 0xFF:
            out.append(f"%{ord(ch):02X}")
        else:
            out.append(f"%U{ord(ch):04X}")
    return "".join(out)


def db_date(d):
    return f"{d.day}/{d.month}/{d.year}"


def db_time(hour, minute):
    return f"{hour}:{minute}"


def reminder_line(rid, when, message, *, daily_every=0, start=None):
    """One database row with its Id: a one-time reminder at `when`, or with daily_every > 0 a
    daily series every daily_every days from `start` at the time of `when`. No sound, no
    program."""
    fields = [rid, db_date(when), db_time(when.hour, when.minute), message, "FALSE", "FALSE", "", "FALSE", ""]
    if daily_every:
        first = start or when.date()
        fields += ["TRUE", "1", "1", str(daily_every), "1", "0000000", "1", "1", "1", "1",
                   db_date(first), "TRUE", db_date(first)]
    else:
        fields += ["FALSE", "0", "0", "1", "1", "0000000", "1", "1", "1", "1",
                   db_date(when), "TRUE", db_date(when)]
    fields += ["FALSE", "TRUE"]
    return ";".join(fields) + ";"


class Row:
    """One parsed row of the database file."""

    def __init__(self, line):
        f = line.split(";")
        self.fields = f
        self.id = f[0]
        d, m, y = (int(x) for x in f[1].split("/"))
        hh, mm = (int(x) for x in f[2].split(":"))
        self.date = date(y, m, d)
        self.moment = datetime(y, m, d, hh, mm)
        self.message = f[3]
        self.recurring = f[9] == "TRUE"
        self.exclusion = f[22] == "TRUE"
        self.active = f[23] == "TRUE"

    def __eq__(self, other):
        return isinstance(other, Row) and self.fields == other.fields

    def __repr__(self):
        kind = "exclusion" if self.exclusion else ("series" if self.recurring else "once")
        if not self.active:
            kind += " inactive"
        return f"<{kind} {self.id} {self.moment:%Y-%m-%d %H:%M} {self.message!r}>"


def read_db(path):
    """The header and the rows of a database file; the lines must end in CR LF."""
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-8")
    assert text.endswith("\r\n"), f"{path}: the last line does not end in CR LF"
    lines = text[:-2].split("\r\n")
    assert all("\n" not in l and "\r" not in l for l in lines), f"{path}: a line end that is not CR LF"
    return lines[0], [Row(l) for l in lines[2:] if l]


# ---- Processes -------------------------------------------------------------------------------

def kill_group(proc, sig=signal.SIGKILL):
    if proc is None:
        return
    try:
        os.killpg(proc.pid, sig)
    except (ProcessLookupError, PermissionError):
        pass
    try:
        proc.wait(timeout=5)
    except subprocess.TimeoutExpired:
        pass


def start_xvfb(log_path, width=1024, height=768):
    """Xvfb on a display it picks itself; returns (process, ":N"). Raises Skip when none can
    be started."""
    if shutil.which("Xvfb") is None:
        raise Skip("Xvfb is not installed")
    read_end, write_end = os.pipe()
    try:
        with open(log_path, "wb") as err:
            proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", f"{width}x{height}x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=err, start_new_session=True)
    except OSError as error:
        os.close(read_end)
        os.close(write_end)
        raise Skip(f"Xvfb cannot be run: {error}")
    os.close(write_end)
    number = b""
    end = time.monotonic() + DEADLINE
    try:
        while not number.endswith(b"\n") and time.monotonic() < end:
            ready, _, _ = select.select([read_end], [], [], 0.2)
            if ready:
                chunk = os.read(read_end, 16)
                if not chunk:
                    break
                number += chunk
            elif proc.poll() is not None:
                break
    finally:
        os.close(read_end)
    if not number.strip().isdigit():
        kill_group(proc)
        with open(log_path, errors="replace") as f:
            err = f.read().strip()
        raise Skip("no X server could be started: " + (err[-300:] or f"Xvfb ended with {proc.returncode}"))
    return proc, ":" + number.decode().strip()


class Desktop:
    """The virtual desktop and the program's throwaway home. Use as a context manager: every
    process started here is killed (as a process group) on the way out."""

    def __init__(self, name, exe):
        self.name = name
        self.exe = exe
        self.root = tempfile.mkdtemp(prefix=f"ventaro-e2e-{name}-")
        self.home = os.path.join(self.root, "home")
        self.config = os.path.join(self.root, "config")
        self.config_dirs = os.path.join(self.root, "etc-xdg")
        self.data = os.path.join(self.root, "data")
        self.runtime = os.path.join(self.root, "run")
        for d in (self.home, self.config, self.config_dirs, self.data, self.runtime):
            os.makedirs(d, mode=0o700, exist_ok=True)
        self.processes = []
        self.programs = []
        self.xvfb = None
        self.display = None
        self.env = None
        self.registry = None
        self.shots = 0

    # -- paths --
    @property
    def ini_path(self):
        return os.path.join(self.config, "Merrowick", "HKEY_CURRENT_USER.ini")

    @property
    def data_folder(self):
        return os.path.join(self.data, "Merrowick", "Ventaro!")

    def db_path(self):
        """The default database file: named after the login name of the process owner."""
        try:
            user = pwd.getpwuid(os.getuid()).pw_name or "Default"
        except KeyError:
            user = "Default"
        return os.path.join(self.data_folder, user + ".dat")

    def backup_path(self, db):
        return os.path.join(os.path.dirname(db), "Backup of " + os.path.basename(db))

    # -- set-up --
    def __enter__(self):
        try:
            self.xvfb, self.display = start_xvfb(os.path.join(self.root, "xvfb.log"))
            self._start_bus()
            self._start_tray()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, kind, value, tb):
        if kind is not None and not isinstance(value, Skip):
            self.screenshot("failure")
            self.dump_logs()
        self.close()
        return False

    def _base_env(self):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("XDG_", "QT_", "DBUS_", "WAYLAND", "AT_SPI"))
               and k not in ("DISPLAY", "XAUTHORITY", "SESSION_MANAGER", "DESKTOP_SESSION")}
        env.update({
            "HOME": self.home, "XDG_CONFIG_HOME": self.config, "XDG_CONFIG_DIRS": self.config_dirs,
            "XDG_DATA_HOME": self.data, "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CACHE_HOME": os.path.join(self.root, "cache"),
            "LANG": "C.UTF-8", "LC_ALL": "C.UTF-8",
            "QT_QPA_PLATFORM": "xcb", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1", "QT_ACCESSIBILITY": "1",
        })
        if self.display:  # a Wayland session may have no X server at all
            env["DISPLAY"] = self.display
        return env

    def _start_bus(self):
        env = self._base_env()
        bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--print-address=1",
             f"--address=unix:dir={self.runtime}"],
            env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
        self.processes.append(bus)
        ready, _, _ = select.select([bus.stdout], [], [], DEADLINE)
        address = bus.stdout.readline().decode().strip() if ready else ""
        if not address:
            raise AssertionError("the session bus did not start")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env = env
        # This process is a client of the same buses: pyatspi reads them when first imported.
        for k in [k for k in os.environ if k.startswith(("DBUS_", "AT_SPI"))]:
            del os.environ[k]
        os.environ.pop("DISPLAY", None)
        if self.display:
            os.environ["DISPLAY"] = self.display
        os.environ.update({"DBUS_SESSION_BUS_ADDRESS": address, "XDG_RUNTIME_DIR": self.runtime})
        import pyatspi  # noqa: F401  (starts the accessibility bus through the session bus)
        self.registry = pyatspi.Registry
        wait_for(lambda: self.registry.getDesktop(0) is not None, "the accessibility bus")

    def _start_tray(self):
        tray = subprocess.Popen(
            ["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "120",
             "--height", "24", "--SetDockType", "true", "--transparent", "false"],
            env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.processes.append(tray)
        wait_for(lambda: self.x_windows("trayer"), "the notification area (trayer)")

    def close(self):
        for proc in reversed(self.programs + self.processes):
            kill_group(proc)
        kill_group(self.xvfb)
        self.programs, self.processes, self.xvfb = [], [], None
        if os.environ.get("VENTARO_E2E_KEEP"):
            log("kept", self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    # -- the program --
    def write_preferences(self, **values):
        """Writes preference values (booleans and integers as DWORDs) before the program
        starts, keeping what the file already holds."""
        group = "[" + ini_group(REGISTRY_KEY + "\\Options") + "]"
        lines = []
        if os.path.exists(self.ini_path):
            with open(self.ini_path, encoding="utf-8") as f:
                lines = f.read().splitlines()
        if group not in lines:
            lines += ["", group]
        at = lines.index(group) + 1
        for name, value in values.items():
            text = f"dword:{int(value):08x}" if isinstance(value, (bool, int)) else str(value)
            lines.insert(at, f"{name}={text}")
        os.makedirs(os.path.dirname(self.ini_path), exist_ok=True)
        with open(self.ini_path, "w", encoding="utf-8") as f:
            f.write("\n".join(lines) + "\n")

    def read_preferences(self):
        values, group = {}, None
        if not os.path.exists(self.ini_path):
            return values
        with open(self.ini_path, encoding="utf-8") as f:
            for line in f.read().splitlines():
                if line.startswith("["):
                    group = line[1:-1]
                elif "=" in line and group is not None:
                    name, value = line.split("=", 1)
                    values[(group, name)] = value
        return values

    def preference(self, subkey, name):
        return self.read_preferences().get((ini_group(REGISTRY_KEY + subkey), name))

    def write_db(self, rows):
        os.makedirs(self.data_folder, exist_ok=True)
        with open(self.db_path(), "wb") as f:
            f.write(("KESTO 2.0\r\n\r\n" + "".join(r + "\r\n" for r in rows)).encode("utf-8"))

    def start_program(self):
        out = open(os.path.join(self.root, f"ventaro-{len(self.programs)}.log"), "wb")
        proc = subprocess.Popen([self.exe], env=self.env, stdout=out, stderr=subprocess.STDOUT,
                                stdin=subprocess.DEVNULL, start_new_session=True)
        out.close()
        self.programs.append(proc)
        log("started", self.exe, "pid", proc.pid)
        return proc

    def terminate(self, proc, db):
        """Ends the program with SIGTERM and checks that it ended cleanly after its final save:
        the save copies the file to the backup before writing it, so with no change left to
        write the backup then equals the file. Returns the file's content."""
        os.kill(proc.pid, signal.SIGTERM)
        wait_for(lambda: proc.poll() is not None, "the program to end on SIGTERM")
        assert proc.returncode == 0, f"the program ended with {proc.returncode} on SIGTERM"
        backup = self.backup_path(db)
        assert os.path.exists(backup), "no final save: there is no backup"
        with open(db, "rb") as f, open(backup, "rb") as b:
            content = f.read()
            assert b.read() == content, "no final save: the backup is older than the file"
        return content

    def app(self, proc):
        """The program's accessible application object, found by its process id."""
        desktop = self.registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            try:
                if app is not None and app.get_process_id() == proc.pid:
                    app.setCacheMask(0)  # always ask the program: its windows come and go
                    return app
            except Exception:
                continue
        return None

    def wait_app(self, proc):
        return wait_for(lambda: self.app(proc), f"the program (pid {proc.pid}) on the accessibility bus")

    def dump_logs(self):
        for name in sorted(os.listdir(self.root)):
            if name.endswith(".log"):
                with open(os.path.join(self.root, name), errors="replace") as f:
                    text = f.read().strip()
                if text:
                    log(f"---- {name} ----\n{text[-4000:]}")

    # -- X --
    def x(self, *args, check=True):
        result = subprocess.run(list(args), env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                timeout=DEADLINE)
        if check and result.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed: {result.stderr.decode(errors='replace')}")
        return result.stdout.decode(errors="replace")

    def x_windows(self, class_name):
        """Ids of the mapped X windows whose class matches."""
        out = self.x("xdotool", "search", "--onlyvisible", "--class", class_name, check=False)
        return [int(w) for w in out.split()]

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "40", *keys)

    def key_up(self, *keys):
        """Releases keys: a window that closes on a key press leaves no window for its
        release, and without a window manager the key would stay down and repeat."""
        self.x("xdotool", "keyup", *keys)

    def type_text(self, text):
        self.x("xdotool", "type", "--delay", "30", text)

    def click_at(self, x, y, button=1):
        self.x("xdotool", "mousemove", str(x), str(y), "click", str(button))

    def click(self, acc, button=1):
        """Clicks the middle of an accessible object, as a person would."""
        x, y, w, h = extents(acc)
        assert w > 0 and h > 0, f"{describe(acc)} has no size on screen"
        self.click_at(x + w // 2, y + h // 2, button)

    def window_geometry(self, wid):
        out = self.x("xdotool", "getwindowgeometry", str(wid))
        pos = re.search(r"Position: (-?\d+),(-?\d+)", out)
        size = re.search(r"Geometry: (\d+)x(\d+)", out)
        return int(pos[1]), int(pos[2]), int(size[1]), int(size[2])

    def tray_icon(self):
        """The screen centre of the program's icon in the notification area."""
        def find():
            tray = self.x_windows("trayer")
            if not tray:
                return None
            tx, ty, tw, th = self.window_geometry(tray[0])
            for wid in self.x_windows("ventaro"):
                x, y, w, h = self.window_geometry(wid)
                if w <= 64 and h <= 64 and tx <= x < tx + tw and ty <= y < ty + th:
                    return x + w // 2, y + h // 2
            return None
        return wait_for(find, "the program's icon in the notification area")

    def screenshot(self, label):
        if not self.display:
            return None
        self.shots += 1
        folder = os.environ.get("VENTARO_E2E_SHOTS") or self.root
        path = os.path.join(folder, f"{self.name}-{self.shots:02d}-{label}.png")
        try:
            subprocess.run(["import", "-window", "root", path], env=self.env, timeout=DEADLINE,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            log("screenshot", path)
        except (OSError, subprocess.TimeoutExpired):
            return None
        return path


# ---- The accessibility tree ------------------------------------------------------------------

def role(acc):
    return acc.getRoleName()


def describe(acc):
    try:
        return f"[{role(acc)}] {acc.name!r}"
    except Exception:
        return "[gone]"


def children(acc):
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield child


def walk(acc, depth=0, limit=40):
    yield acc
    if depth < limit:
        for child in children(acc):
            yield from walk(child, depth + 1, limit)


def showing(acc):
    import pyatspi
    return acc.getState().contains(pyatspi.STATE_SHOWING)


def gone(acc):
    """Whether a window has closed: it is no longer shown, or no longer there at all."""
    try:
        return not showing(acc)
    except Exception:
        return True


def is_focused(acc):
    import pyatspi
    return acc.getState().contains(pyatspi.STATE_FOCUSED)


def is_active(acc):
    import pyatspi
    return acc.getState().contains(pyatspi.STATE_ACTIVE)


def is_checked(acc):
    import pyatspi
    return acc.getState().contains(pyatspi.STATE_CHECKED)


def find(root, role_name=None, name=None, pattern=None, only_showing=True):
    """The first object below root with the role and the name (or a name matching the regular
    expression), or None."""
    for acc in walk(root):
        try:
            if role_name is not None and role(acc) != role_name:
                continue
            if name is not None and acc.name != name:
                continue
            if pattern is not None and not re.search(pattern, acc.name or ""):
                continue
            if only_showing and not showing(acc):
                continue
            return acc
        except Exception:
            continue
    return None


def top_windows(app):
    """The program's open top-level windows: (role, name, object)."""
    result = []
    for win in children(app):
        try:
            if showing(win):
                result.append((role(win), win.name, win))
        except Exception:
            continue
    return result


def top_window(app, role_name=None, name=None, pattern=None):
    for r, n, win in top_windows(app):
        if role_name not in (None, r):
            continue
        if name not in (None, n):
            continue
        if pattern is not None and not re.search(pattern, n or ""):
            continue
        return win
    return None


def extents(acc):
    import pyatspi
    box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    return box.x, box.y, box.width, box.height


def text_of(acc):
    """The text an editable or a label holds."""
    try:
        t = acc.queryText()
        return t.getText(0, t.characterCount)
    except Exception:
        return acc.name or ""


def unnamed_controls(window):
    """The controls in a window that a user acts on but that have no accessible name."""
    missing = []
    for acc in walk(window):
        try:
            if role(acc) in ACTED_ON_ROLES and showing(acc) and not (acc.name or "").strip():
                missing.append(describe(acc) + " in " + describe(acc.parent))
        except Exception:
            continue
    return missing


def dump(acc, depth=0, out=None):
    out = out if out is not None else []
    try:
        out.append("  " * depth + describe(acc))
        for child in children(acc):
            dump(child, depth + 1, out)
    except Exception:
        out.append("  " * depth + "[gone]")
    return out


def main(test):
    """Runs one test function with a clear outcome: 0 passed, 1 failed, SKIP_CODE skipped."""
    exe = sys.argv[1] if len(sys.argv) > 1 else os.environ.get("VENTARO_EXE", "")
    if not exe or not os.access(exe, os.X_OK):
        print(f"FAIL: the program {exe!r} is not there (build the ventaro target)", flush=True)
        return 1
    started = time.monotonic()
    try:
        test(exe)
    except Skip as reason:
        print(f"SKIP: {reason}", flush=True)
        return SKIP_CODE
    except AssertionError as error:
        print(f"FAIL: {error}", flush=True)
        return 1
    print(f"PASS in {time.monotonic() - started:.1f} s", flush=True)
    return 0
