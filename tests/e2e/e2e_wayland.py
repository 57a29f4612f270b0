#!/usr/bin/env python3
"""The program in a Wayland session under Weston, with no notification area: it starts, shows
its main window at once, and alerts the reminders missed while it was not running.

Two compositors, chosen by the second argument:
- "headless" (the default): Weston's headless backend. A fake notification service
  (python3-dbusmock) runs on the session bus: the first alert is answered through its
  notification's Dismiss, the second through the window's own Snooze button (its accessible
  action: the headless compositor has no keyboard).
- "keyboard": Weston on its X11 backend inside a virtual X server, which gives the Wayland
  session a seat with a keyboard: the alert is active and is answered with Enter.

Ends with 77 (skipped) only when no Wayland compositor can be started.
"""

import os
import shutil
import subprocess
import sys
from datetime import datetime, timedelta

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

FIRST_ID = "{E2E00000-0000-0000-0000-0000000000A1}"
SECOND_ID = "{E2E00000-0000-0000-0000-0000000000A2}"
FIRST_TEXT = "Renew the parking permit"
SECOND_TEXT = "Send the invoice"
SNOOZE = timedelta(minutes=5)  # the preselected interval

NOTIFICATIONS = "org.freedesktop.Notifications"
NOTIFICATIONS_PATH = "/org/freedesktop/Notifications"
MOCK = "org.freedesktop.DBus.Mock"


class WaylandDesktop(d.Desktop):
    """A Wayland session: Weston on its own socket, the private session and accessibility bus,
    and the throwaway home. The program runs on Qt's Wayland platform."""

    def __init__(self, name, exe, backend):
        super().__init__(name, exe)
        self.backend = backend
        self.socket = None

    def __enter__(self):
        try:
            if self.backend == "x11":
                self.xvfb, self.display = d.start_xvfb(os.path.join(self.root, "xvfb.log"))
            self.socket = self._start_weston()
            self._start_bus()
            if self.backend == "x11":
                # The X server's keyboard goes to the compositor, which hands it to the active
                # Wayland window. Given long before the first key: the compositor takes it in
                # its own time.
                self.x("xdotool", "windowfocus", "--sync", str(self.weston_window()))
        except BaseException:
            self.close()
            raise
        return self

    def _base_env(self):
        env = super()._base_env()
        if self.socket:
            env.update({"WAYLAND_DISPLAY": self.socket, "QT_QPA_PLATFORM": "wayland", "XDG_SESSION_TYPE": "wayland"})
        return env

    def _start_weston(self):
        if shutil.which("weston") is None:
            raise d.Skip("weston is not installed: no Wayland compositor")
        socket = f"ventaro-{self.name}"
        args = ["weston", f"--backend={self.backend}-backend.so", f"--socket={socket}", "--idle-time=0"]
        if self.backend == "x11":
            args += ["--use-pixman", "--width=1024", "--height=740"]
        log_path = os.path.join(self.root, f"weston-{self.backend}.log")
        with open(log_path, "wb") as out:
            proc = subprocess.Popen(args, env=self._base_env(), stdout=out, stderr=subprocess.STDOUT,
                                    stdin=subprocess.DEVNULL, start_new_session=True)
        self.processes.append(proc)
        path = os.path.join(self.runtime, socket)
        try:
            d.wait_for(lambda: proc.poll() is not None or os.path.exists(path), "the Wayland socket")
        except AssertionError:
            pass
        if proc.poll() is not None or not os.path.exists(path):
            with open(log_path, errors="replace") as f:
                tail = f.read().strip()[-400:]
            raise d.Skip(f"no Wayland compositor could be started (weston, {self.backend} backend): {tail}")
        return socket

    def weston_window(self):
        """The X window of the nested compositor."""
        return d.wait_for(lambda: self.x_windows("weston"), "Weston's window on the X server")[0]


class FakeNotifications:
    """python3-dbusmock's notification service on the desktop's session bus, with buttons."""

    def __init__(self, desk):
        try:
            import dbus
        except ImportError:
            raise AssertionError("python3-dbus is missing (it comes with python3-dbusmock)")
        log_path = os.path.join(desk.root, "notifications.log")
        with open(log_path, "wb") as out:
            self.proc = subprocess.Popen(
                [sys.executable, "-m", "dbusmock", "--template", "notification_daemon",
                 "-p", '{"capabilities": "actions body"}'],
                env=desk.env, stdout=out, stderr=subprocess.STDOUT, start_new_session=True)
        desk.processes.append(self.proc)
        self.bus = dbus.SessionBus()
        d.wait_for(lambda: self.proc.poll() is not None or self.bus.name_has_owner(NOTIFICATIONS),
                   "the fake notification service")
        if self.proc.poll() is not None:
            with open(log_path, errors="replace") as f:
                raise AssertionError("the fake notification service did not start (is python3-dbusmock "
                                     "installed?): " + f.read()[-400:])
        self.mock = dbus.Interface(self.bus.get_object(NOTIFICATIONS, NOTIFICATIONS_PATH), MOCK)
        self.dbus = dbus

    def calls(self, method):
        """The arguments of each call of the method so far."""
        return [list(args) for _, args in self.mock.GetMethodCalls(method)]

    def invoke(self, notification_id, action):
        self.mock.EmitSignal(NOTIFICATIONS, "ActionInvoked", "us",
                             [self.dbus.UInt32(notification_id), action])


def alert(desk, program):
    app = desk.app(program)
    return app and d.top_window(app, "dialog", pattern="^Reminder - ")


def message_of(window):
    texts = d.wait_for(lambda: [d.text_of(a) for a in d.walk(window) if d.role(a) == "label"], "the alert's labels")
    shown = [m for m in (FIRST_TEXT, SECOND_TEXT) if any(t.splitlines()[:1] == [m] for t in texts)]
    assert len(shown) == 1, f"the alert shows no known message, or both: {texts}"
    return shown[0]


def press(acc):
    """Presses a button through its accessible action."""
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    assert "Press" in names, f"{d.describe(acc)} offers {names}"
    action.doAction(names.index("Press"))


def overdue(hours_ago):
    return (datetime.now() - timedelta(hours=hours_ago)).replace(second=0, microsecond=0)


def start(desk, rows):
    desk.write_preferences(ShowTips=False)
    desk.write_db(rows)
    program = desk.start_program()
    desk.wait_app(program)
    # No notification area: the main window is shown at start-up.
    main = d.wait_for(lambda: d.top_window(desk.app(program), "frame", d.TITLE), "the main window at start-up")
    assert d.unnamed_controls(main) == [], d.unnamed_controls(main)
    return program


def minute(moment):
    return moment.replace(second=0, microsecond=0)


def headless(exe):
    with WaylandDesktop("wayland", exe, "headless") as desk:
        notifications = FakeNotifications(desk)
        db = desk.db_path()
        program = start(desk, [d.reminder_line(FIRST_ID, overdue(3), FIRST_TEXT),
                               d.reminder_line(SECOND_ID, overdue(2), SECOND_TEXT)])

        answered = []
        snoozed_at = None
        while len(answered) < 2:
            window = d.wait_for(lambda: alert(desk, program), f"alert {len(answered) + 1}")
            message = message_of(window)
            assert message not in answered, f"{message!r} alerted twice"
            assert d.unnamed_controls(window) == [], d.unnamed_controls(window)
            # One notification per alert, with the alert's caption and message and the buttons.
            notes = d.wait_for(lambda: len(notifications.calls("Notify")) == len(answered) + 1
                               and notifications.calls("Notify"), "the alert's notification")
            app_name, _, icon, summary, body, actions, hints, _ = notes[-1]
            assert summary == window.name and body == message, (summary, body, window.name)
            assert list(actions)[0::2] == ["default", "dismiss", "snooze"], actions
            assert int(hints["urgency"]) == 2 and bool(hints["suppress-sound"]), hints
            assert hints["desktop-entry"] == icon == "example.merrowick.Ventaro", (hints, icon)
            if not answered:
                # The notification's Dismiss answers the alert; the service hands out ids from 1.
                notifications.invoke(1, "dismiss")
            else:
                before = datetime.now()
                press(d.find(window, "push button", "Snooze"))
                snoozed_at = (before, datetime.now())
            d.wait_for(lambda: d.gone(window), "the answered alert to close")
            answered.append(message)

        def settled():
            _, rows = d.read_db(db)
            return len(rows) == 1 and rows[0].id == SECOND_ID and rows[0].moment > datetime.now() and rows
        rows = d.wait_for(settled, "the answers in the database file")
        # The first reminder was dismissed (and deleted), the second snoozed by the interval.
        assert answered[0] == FIRST_TEXT, answered
        before, after = snoozed_at
        assert minute(before) + SNOOZE <= rows[0].moment <= minute(after) + SNOOZE, (rows, snoozed_at)
        # Both notifications were withdrawn when their alerts were answered.
        closed = d.wait_for(lambda: len(notifications.calls("CloseNotification")) == 2
                            and notifications.calls("CloseNotification"), "both notifications withdrawn")
        assert sorted(int(c[0]) for c in closed) == [1, 2], closed
        desk.terminate(program, db)


def keyboard(exe):
    with WaylandDesktop("wayland-keyboard", exe, "x11") as desk:
        db = desk.db_path()
        program = start(desk, [d.reminder_line(FIRST_ID, overdue(1), FIRST_TEXT)])
        window = d.wait_for(lambda: alert(desk, program), "the catch-up alert")
        assert message_of(window) == FIRST_TEXT
        # The compositor gives the new alert the keyboard; Snooze has the focus and is the
        # default button.
        d.wait_for(lambda: d.is_active(window), "the alert to be the active window")
        snooze = d.find(window, "push button", "Snooze")
        d.wait_for(lambda: d.is_focused(snooze), "the focus on Snooze")
        before = datetime.now()
        desk.key("Return")
        desk.key_up("Return")
        d.wait_for(lambda: d.gone(window), "the alert to close on Enter")
        after = datetime.now()

        def snoozed():
            _, rows = d.read_db(db)
            return len(rows) == 1 and rows[0].moment > datetime.now() and rows
        rows = d.wait_for(snoozed, "the snoozed reminder in the database file")
        assert rows[0].id == FIRST_ID and rows[0].active, rows
        assert minute(before) + SNOOZE <= rows[0].moment <= minute(after) + SNOOZE, (rows, before, after)
        desk.terminate(program, db)


if __name__ == "__main__":
    mode = sys.argv[2] if len(sys.argv) > 2 else "headless"
    sys.exit(d.main(keyboard if mode == "keyboard" else headless))
