#!/usr/bin/env python3
"""The main window opened from the tray menu, a reminder added with the keyboard only, the
quick calendar opened from the tray icon and closed, and the end on SIGTERM."""

import os
import sys
from datetime import date, datetime, timedelta

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

MESSAGE = "Water the plants"
SCREEN = (1024, 768)


def proposed_time(moment):
    """The add dialog's proposal: the time of day moved on, a minute at a time, to the next
    whole or half hour (kept when it is one already)."""
    t = moment.replace(second=0, microsecond=0)
    while t.minute not in (0, 30):
        t += timedelta(minutes=1)
    return t.time()


def day_name(day):
    return f"{day:%A}, {day.day} {day:%B} {day.year}"


def test(exe):
    with d.Desktop("mainwindow", exe) as desk:
        desk.write_preferences(ShowTips=False)
        db = desk.db_path()
        program = desk.start_program()
        desk.wait_app(program)
        icon = desk.tray_icon()
        d.wait_for(lambda: os.path.exists(db), "the database file")
        assert d.top_windows(desk.app(program)) == [], "a window is open at start-up"

        # The tray menu (a popup outside the accessibility tree: its window is looked for on
        # the X side), then its "Open Ventaro!" by its accelerator.
        desk.click_at(*icon, button=3)
        d.wait_for(lambda: [w for w in desk.x_windows("ventaro") if min(desk.window_geometry(w)[2:]) > 64],
                   "the tray menu")
        desk.key("o")
        main = d.wait_for(lambda: d.top_window(desk.app(program), "frame", d.TITLE), "the main window")
        assert d.unnamed_controls(main) == [], d.unnamed_controls(main)

        # Tomorrow picked in the calendar, so the proposed time is always ahead.
        tomorrow = date.today() + timedelta(days=1)
        cell = d.wait_for(lambda: d.find(main, "list item", day_name(tomorrow)), f"the calendar cell {day_name(tomorrow)}")
        desk.click(cell)
        d.wait_for(lambda: d.find(main, "label", pattern="^" + f"{tomorrow:%A}, {tomorrow.day} {tomorrow:%B}"),
                   "the day view of tomorrow")

        # Ctrl+N, type, Alt+O.
        before = datetime.now()
        desk.key("ctrl+n")
        dialog = d.wait_for(lambda: d.top_window(desk.app(program), "dialog", "Add Reminder..."), "the add dialog")
        after = datetime.now()
        assert d.unnamed_controls(dialog) == [], d.unnamed_controls(dialog)
        message = d.find(dialog, "text", "Reminder Message")
        d.wait_for(lambda: d.is_focused(message), "the focus in the message")
        desk.type_text(MESSAGE)
        d.wait_for(lambda: d.text_of(message) == MESSAGE, "the typed message")
        desk.key("alt+o")
        desk.key_up("alt", "o")
        d.wait_for(lambda: d.gone(dialog), "the add dialog to close")

        # In the list of all reminders and in the file, as a one-time reminder tomorrow.
        d.wait_for(lambda: d.find(d.find(main, "tree", "All Reminders"), "table cell", MESSAGE),
                   "the new reminder in the list")
        _, rows = d.wait_for(lambda: (lambda h, r: r and (h, r))(*d.read_db(db)), "the new reminder in the file")
        assert len(rows) == 1, rows
        row = rows[0]
        assert row.message == MESSAGE and not row.recurring and row.active and row.date == tomorrow, row
        assert row.moment.time() in {proposed_time(before), proposed_time(after)}, (row, before, after)
        assert row.fields[4] == "TRUE", "Play a sound is ticked by default"

        # The quick calendar: a left click on the icon opens it in the bottom-right corner,
        # Esc closes it.
        desk.click_at(*icon)

        def quick():
            for r, n, w in d.top_windows(desk.app(program)):
                if n == d.TITLE and r != "frame":
                    return w
            return None
        calendar = d.wait_for(quick, "the quick calendar")
        assert d.unnamed_controls(calendar) == [], d.unnamed_controls(calendar)
        assert d.find(calendar, "list item", day_name(date.today())) is not None, "\n".join(d.dump(calendar))
        x, y, w, h = d.extents(calendar)
        assert (x, y) == (SCREEN[0] - w - 10, SCREEN[1] - h - 35), (x, y, w, h)
        d.wait_for(lambda: d.is_active(calendar), "the quick calendar to take the keyboard")
        desk.key("Escape")
        desk.key_up("Escape")
        d.wait_for(lambda: d.gone(calendar), "the quick calendar to close")
        assert d.showing(main) and program.poll() is None

        # SIGTERM: the final save keeps the reminder.
        desk.terminate(program, db)
        _, final = d.read_db(db)
        assert final == [row], final


if __name__ == "__main__":
    sys.exit(d.main(test))
