#!/usr/bin/env python3
"""First start of a new user, a refused second instance, and the end on SIGTERM."""

import os
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

MULTIPLE = "You cannot create multiple instances of Merrowick Ventaro!."


def test(exe):
    with d.Desktop("startup", exe) as desk:
        db = desk.db_path()
        backup = desk.backup_path(db)
        first = desk.start_program()
        desk.wait_app(first)

        # A new user: the Tip of the Day opens at once; its choice is stored when it closes.
        tip = d.wait_for(lambda: d.top_window(desk.app(first), "dialog", "Tip Of The Day..."),
                         "the Tip of the Day at first start")
        assert d.unnamed_controls(tip) == [], d.unnamed_controls(tip)
        show_tips = d.find(tip, "check box", "Show tips at startup")
        assert show_tips is not None, "\n".join(d.dump(tip))
        desk.click(show_tips)
        d.wait_for(lambda: not d.is_checked(show_tips), "'Show tips at startup' cleared")
        desk.click(d.find(tip, "push button", "Close"))
        d.wait_for(lambda: d.top_window(desk.app(first), "dialog", "Tip Of The Day...") is None,
                   "the Tip of the Day to close")
        d.wait_for(lambda: desk.preference("\\Options", "ShowTips") == "dword:00000000",
                   "ShowTips off in the preferences file")

        # The database file exists, empty, at the default place, which is recorded.
        header, rows = d.wait_for(lambda: os.path.exists(db) and d.read_db(db), f"the database file {db}")
        assert header == "KESTO 2.0" and rows == [], (header, rows)
        assert desk.preference("\\File", "DataFile") == db, desk.read_preferences()
        assert not os.path.exists(backup), "a backup although there was no file before"
        # The program lives in the notification area; no window of its own is open.
        desk.tray_icon()
        assert d.top_windows(desk.app(first)) == [], d.top_windows(desk.app(first))

        # A second start is refused with the notice and ends; the first goes on unchanged.
        second = desk.start_program()
        notice = d.wait_for(lambda: desk.app(second) and d.top_window(desk.app(second), "alert"),
                            "the notice of the second instance")
        assert notice.name == d.TITLE, notice.name
        assert d.find(notice, "label", MULTIPLE) is not None, "\n".join(d.dump(notice))
        assert d.unnamed_controls(notice) == [], d.unnamed_controls(notice)
        desk.click(d.find(notice, "push button", "OK"))
        code = d.wait_for(lambda: second.poll() is not None, "the second instance to end") and second.returncode
        assert code == 0, f"the second instance ended with {code}"
        assert first.poll() is None, "the first instance ended too"
        assert d.read_db(db) == (header, rows)

        # SIGTERM: the program saves once more (making the first backup) and ends.
        desk.terminate(first, db)
        assert d.read_db(db) == (header, rows)
        assert desk.preference("\\Options", "ShowTips") == "dword:00000000"


if __name__ == "__main__":
    sys.exit(d.main(test))
