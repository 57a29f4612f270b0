#!/usr/bin/env python3
"""Two machines and one calendar server: two running programs, each in its own throwaway
desktop and home, synchronized through a Radicale server started here on a free loopback port.

1. A reminder added on the first machine appears on the second.
2. An occurrence dismissed on the first (its alert answered by keyboard) is not due on the
   second: the second's start-up catch-up waits for its first sync, which brings the dismissal.
3. A reminder deleted on the first disappears from the second.
4. The same reminder changed on both: the server's version stays, the other is kept as a
   "(Conflict) " reminder, and in the end both machines hold both versions. Nothing is lost.

Changes on each machine are made the way another program would (rewriting its database file),
which the program merges and saves; every save is followed by a sync a few seconds later."""

import glob
import os
import shutil
import socket
import subprocess
import sys
import time
from datetime import date, datetime, timedelta

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

SERIES_ID = "{E2E00000-0000-0000-0000-000000000021}"
ONCE_ID = "{E2E00000-0000-0000-0000-000000000022}"
KEEP_ID = "{E2E00000-0000-0000-0000-000000000023}"
USER, PASSWORD = "ann", "correct horse battery"
# A save is synced a few seconds later; a sync with nothing of its own comes every minute.
SYNC_DEADLINE = 40.0
INTERVAL_DEADLINE = 100.0


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Radicale:
    """A calendar server with one user, its storage in a throwaway folder."""

    def __init__(self, root):
        self.root = root
        self.port = free_port()
        self.storage = os.path.join(root, "collections")
        self.proc = None

    def __enter__(self):
        exe = shutil.which("radicale")
        if exe is None:
            raise d.Skip("radicale is not installed: there is no calendar server to sync with")
        users = os.path.join(self.root, "users")
        with open(users, "w") as f:
            f.write(f"{USER}:{PASSWORD}\n")
        config = os.path.join(self.root, "radicale.conf")
        with open(config, "w") as f:
            f.write(f"[server]\nhosts = 127.0.0.1:{self.port}\n"
                    f"[auth]\ntype = htpasswd\nhtpasswd_filename = {users}\nhtpasswd_encryption = plain\n"
                    f"[storage]\nfilesystem_folder = {self.storage}\n"
                    "[rights]\ntype = owner_only\n[logging]\nlevel = warning\n")
        log = open(os.path.join(self.root, "radicale.log"), "wb")
        self.proc = subprocess.Popen([exe, "--config", config], stdout=log, stderr=subprocess.STDOUT,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        log.close()

        def answers():
            if self.proc.poll() is not None:
                raise AssertionError(f"radicale ended at start with {self.proc.returncode}")
            try:
                with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                    return True
            except OSError:
                return False
        d.wait_for(answers, "the calendar server to listen")
        return self

    def __exit__(self, *exc):
        d.kill_group(self.proc)

    @property
    def url(self):
        return f"http://127.0.0.1:{self.port}/"

    def resources(self):
        """The stored calendar resources (file name -> text) of the user's calendars."""
        found = {}
        for path in glob.glob(os.path.join(self.storage, "collection-root", USER, "*", "*.ics")):
            with open(path, encoding="utf-8", errors="replace") as f:
                found[os.path.basename(path)] = f.read()
        return found

    def holding(self, uid):
        """The text of the resource that holds the event with this UID, or None."""
        for text in self.resources().values():
            unfolded = text.replace("\r\n ", "").replace("\n ", "")
            if f"UID:{uid}" in unfolded:
                return unfolded
        return None


def replace_file(path, rows):
    """Rewrites a database file the way sync tools do: a whole new file renamed over the old."""
    part = path + ".part"
    with open(part, "wb") as f:
        f.write(("KESTO 2.0\r\n\r\n" + "".join(r + "\r\n" for r in rows)).encode("utf-8"))
    os.replace(part, path)


def rows_of(path):
    try:
        return d.read_db(path)[1]
    except (OSError, AssertionError, ValueError, IndexError):
        return None  # not written yet, or being replaced


def messages(path):
    rows = rows_of(path) or []
    return {r.id: r.message for r in rows if not r.exclusion}


def test(exe):
    now = datetime.now().replace(second=0, microsecond=0)
    # A daily series whose occurrence two hours ago was missed while no program ran.
    missed = now - timedelta(hours=2)
    later = datetime.combine(date.today() + timedelta(days=2), datetime.min.time()).replace(hour=10)
    series = d.reminder_line(SERIES_ID, missed, "Take the pills", daily_every=1, start=missed.date() - timedelta(days=3))
    once = d.reminder_line(ONCE_ID, later, "Added on the desk computer")
    keep = d.reminder_line(KEEP_ID, later + timedelta(hours=1), "Book the train")

    with d.Desktop("sync-a", exe) as desk_a, d.Desktop("sync-b", exe) as desk_b:
        with Radicale(desk_a.root) as server:
            for desk in (desk_a, desk_b):
                secret = os.path.join(desk.root, "calendar-password")
                with open(secret, "w") as f:
                    f.write(PASSWORD + "\n")
                os.chmod(secret, 0o600)
                desk.write_preferences(ShowTips=False, SyncEnabled=True, SyncUrl=server.url, SyncUser=USER,
                                       SyncInterval=1, SyncPasswordCommand=f"cat '{secret}'")
            db_a, db_b = desk_a.db_path(), desk_b.db_path()
            desk_a.write_db([series, once, keep])
            desk_b.write_db([])

            # -- 1 and 2: the first machine starts, syncs, and its alert is dismissed there.
            prog_a = desk_a.start_program()
            desk_a.wait_app(prog_a)
            alert = d.wait_for(lambda: d.top_window(desk_a.app(prog_a), "dialog", pattern="^Reminder - "),
                               "the alert of the missed occurrence on the first machine")
            d.wait_for(lambda: server.holding(ONCE_ID) and server.holding(KEEP_ID), "the first sync's uploads")
            d.wait_for(lambda: d.is_active(alert), "the alert to have the keyboard")
            # The probe the second machine is checked with sees an alert where there is one.
            assert desk_a.x("xdotool", "search", "--onlyvisible", "--name", "^Reminder - ", check=False).split()
            desk_a.key("alt+d")
            desk_a.key_up("alt", "d")
            d.wait_for(lambda: d.gone(alert), "the dismissed alert to close")
            d.wait_for(lambda: any(r.exclusion and r.id == SERIES_ID for r in rows_of(db_a) or []),
                       "the dismissal in the first machine's file")
            d.wait_for(lambda: "X-VENTARO-EXCLUSION" in (server.holding(SERIES_ID) or ""),
                       "the dismissal on the server", timeout=SYNC_DEADLINE)

            # The accessibility bus of one process serves one desktop: the second machine is
            # watched through its files and its X windows.
            prog_b = desk_b.start_program()
            d.wait_for(lambda: messages(db_b) == messages(db_a), "the reminders on the second machine",
                       timeout=SYNC_DEADLINE)
            assert any(r.exclusion and r.id == SERIES_ID for r in rows_of(db_b)), "the dismissal did not arrive"
            # The absence of an alert can only be seen after a while: the catch-up runs right
            # after the first sync, so an alert would be on screen well within two seconds.
            time.sleep(2)
            assert prog_b.poll() is None, "the second program ended"
            shown = desk_b.x("xdotool", "search", "--onlyvisible", "--name", "^Reminder - ", check=False).split()
            assert shown == [], "the occurrence dismissed on the first machine rang on the second"

            # -- 3 and 4: the first deletes a reminder and changes another; the second changes
            #    that same reminder its own way before it has heard of the first's change.
            replace_file(db_a, [r for r in open(db_a, encoding="utf-8").read().split("\r\n")[2:]
                                if r and not r.startswith(ONCE_ID) and not r.startswith(KEEP_ID)]
                         + [keep.replace("Book the train", "Book the night train")])
            d.wait_for(lambda: server.holding(ONCE_ID) is None and "night train" in (server.holding(KEEP_ID) or ""),
                       "the deletion and the change on the server", timeout=SYNC_DEADLINE)
            replace_file(db_b, [r for r in open(db_b, encoding="utf-8").read().split("\r\n")[2:]
                                if r and not r.startswith(KEEP_ID)]
                         + [keep.replace("Book the train", "Book the day train")])

            def both_versions(path):
                texts = sorted(messages(path).values())
                return ONCE_ID not in messages(path) and "Book the night train" in texts \
                    and "(Conflict) Book the day train" in texts
            d.wait_for(lambda: both_versions(db_b), "the deletion and both versions on the second machine",
                       timeout=SYNC_DEADLINE)
            d.wait_for(lambda: both_versions(db_a), "the conflict copy on the first machine",
                       timeout=INTERVAL_DEADLINE)
            assert messages(db_a) == messages(db_b), (messages(db_a), messages(db_b))

            # Other calendar programs see events with alarms.
            event = server.holding(KEEP_ID)
            assert "BEGIN:VEVENT" in event and "BEGIN:VALARM" in event, event
            # The password went nowhere but the server.
            for desk in (desk_a, desk_b):
                with open(desk.ini_path, encoding="utf-8") as f:
                    assert PASSWORD not in f.read(), "the password is in the preferences file"

            desk_a.terminate(prog_a, db_a)
            desk_b.terminate(prog_b, db_b)


if __name__ == "__main__":
    sys.exit(d.main(test))
