#!/usr/bin/env python3
"""Another program writes the database file while an alert is open: first a whole file that
changes one reminder and adds another (merged without a word), then a file cut short (kept
beside ours, its warning held back). Nothing opens over the alert, which is answered by
keyboard; the warning follows once the alert is answered; the file then holds the outside
changes and the dismissal."""

import glob
import os
import sys
from datetime import date, datetime, timedelta

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

ONCE_ID = "{E2E00000-0000-0000-0000-000000000011}"
KEEP_ID = "{E2E00000-0000-0000-0000-000000000012}"
OUTSIDE_ID = "{E2E00000-0000-0000-0000-000000000013}"


def replace_file(path, text):
    """Writes the file the way sync tools do: a whole new file renamed over the old one."""
    part = path + ".part"
    with open(part, "wb") as f:
        f.write(text.encode("utf-8"))
    os.replace(part, path)


def test(exe):
    today = date.today()
    overdue = datetime.combine(today - timedelta(days=1), datetime.min.time()).replace(hour=9)
    later = datetime.combine(today + timedelta(days=2), datetime.min.time()).replace(hour=10)

    with d.Desktop("outside", exe) as desk:
        desk.write_preferences(ShowTips=False)
        once = d.reminder_line(ONCE_ID, overdue, "Water the plants")
        desk.write_db([once, d.reminder_line(KEEP_ID, later, "Book the train")])
        db = desk.db_path()
        program = desk.start_program()
        desk.wait_app(program)

        def others(alert):
            """The program's shown windows besides the alert (the main window stays hidden)."""
            return [(r, n) for r, n, w in d.top_windows(desk.app(program)) if w != alert]

        alert = d.wait_for(lambda: d.top_window(desk.app(program), "dialog", pattern="^Reminder - "), "the alert")
        assert others(alert) == [], others(alert)

        # 1. A whole file: one reminder changed, one added. Merged silently; the snapshot of the
        #    version before it shows that the program has taken it in.
        header = "KESTO 2.0\r\n\r\n"
        theirs = header + "".join(line + "\r\n" for line in [
            once,
            d.reminder_line(KEEP_ID, later, "Book the night train"),
            d.reminder_line(OUTSIDE_ID, later + timedelta(hours=1), "Added on the laptop"),
        ])
        replace_file(db, theirs)
        history = os.path.join(os.path.dirname(db), "History")
        d.wait_for(lambda: glob.glob(os.path.join(history, "* before an outside change.dat")),
                   "the snapshot taken before the outside change")

        # 2. A file cut short inside its last field: never taken in, kept beside ours.
        replace_file(db, theirs[:-6])
        conflict = os.path.join(os.path.dirname(db), "Conflict of " + os.path.basename(db))
        d.wait_for(lambda: os.path.exists(conflict), "the cut-short file kept beside ours")
        with open(conflict, "rb") as f:
            assert f.read() == theirs[:-6].encode("utf-8")

        def ours_written():
            try:
                return {r.id for r in d.read_db(db)[1]} == {ONCE_ID, KEEP_ID, OUTSIDE_ID}
            except (AssertionError, ValueError, IndexError):
                return False  # still the cut-short file
        d.wait_for(ours_written, "the merged reminders written over the cut-short file")

        # Nothing opened over the alert, which still has the keyboard: Alt+D dismisses it.
        assert others(alert) == [], others(alert)
        assert d.is_active(alert), "the alert lost the keyboard"
        desk.key("alt+d")
        desk.key_up("alt", "d")
        d.wait_for(lambda: d.gone(alert), "the dismissed alert to close")

        # The held-back warning comes now; Enter closes it.
        warning = d.wait_for(lambda: [w for r, n, w in d.top_windows(desk.app(program)) if r in ("dialog", "alert")],
                             "the warning about the damaged file")[0]
        texts = [d.text_of(a) for a in d.walk(warning) if d.role(a) == "label"]
        assert any("changed by another program" in t for t in texts), texts
        desk.key("Return")
        desk.key_up("Return")
        d.wait_for(lambda: d.gone(warning), "the warning to close")

        # Both sides' changes: the outside change and edit, and the dismissal (deleted, the
        # default preference).
        def merged():
            _, rows = d.read_db(db)
            return {r.id: r.message for r in rows} == {KEEP_ID: "Book the night train", OUTSIDE_ID: "Added on the laptop"}
        d.wait_for(merged, "the merged reminders in the file")
        desk.terminate(program, db)


if __name__ == "__main__":
    sys.exit(d.main(test))
