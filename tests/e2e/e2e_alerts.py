#!/usr/bin/env python3
"""The catch-up at start-up: an overdue one-time reminder and a daily series that began three
days ago come due at once; each alert is answered as it comes (the one-time reminder
dismissed, the series snoozed), and the database file holds the answers afterwards."""

import os
import sys
from datetime import date, datetime, timedelta

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import desktop as d  # noqa: E402

ONCE_ID = "{E2E00000-0000-0000-0000-000000000001}"
SERIES_ID = "{E2E00000-0000-0000-0000-000000000002}"
ONCE_TEXT = "Call the dentist"
SERIES_TEXT = "Take the pills"
SNOOZE = timedelta(minutes=5)  # the preselected interval


def minute(moment):
    return moment.replace(second=0, microsecond=0)


def test(exe):
    today = date.today()
    overdue = datetime.combine(today - timedelta(days=1), datetime.min.time()).replace(hour=9)
    series_start = today - timedelta(days=3)
    # Midnight: every occurrence from the start up to today's has passed, whatever the hour.
    missed = {series_start + timedelta(days=n) for n in range(4)}

    with d.Desktop("alerts", exe) as desk:
        desk.write_preferences(ShowTips=False)
        desk.write_db([
            d.reminder_line(ONCE_ID, overdue, ONCE_TEXT),
            d.reminder_line(SERIES_ID, datetime.combine(series_start, datetime.min.time()), SERIES_TEXT,
                            daily_every=1, start=series_start),
        ])
        db = desk.db_path()
        program = desk.start_program()
        desk.wait_app(program)

        def alert():
            app = desk.app(program)
            return app and d.top_window(app, "dialog", pattern="^Reminder - ")

        def settled():
            """The answers are in the file: the one-time reminder is gone, and every missed
            occurrence of the series carries an exclusion."""
            _, rows = d.read_db(db)
            excluded = {r.date for r in rows if r.exclusion and r.id == SERIES_ID}
            return not any(r.id == ONCE_ID for r in rows) and missed <= excluded and alert() is None

        snoozes = []  # (before, after) the Snooze key, for each snoozed alert
        answered = {ONCE_TEXT: 0, SERIES_TEXT: 0}
        while True:
            try:
                window = d.wait_for(lambda: alert() or (answered[ONCE_TEXT] and answered[SERIES_TEXT] and settled()
                                                        and "settled"),
                                    "an alert, or the answers in the database file")
            except AssertionError as error:
                raise AssertionError(f"{error}; answered {answered}, the file holds {d.read_db(db)[1]}")
            if window == "settled":
                break
            assert sum(answered.values()) < 10, "alerts keep coming"
            caption = window.name
            texts = d.wait_for(lambda: [d.text_of(a) for a in d.walk(window) if d.role(a) == "label"],
                               "the alert's labels")
            d.log("alert", repr(caption), texts)
            shown = [m for m in answered if any(t.splitlines()[:1] == [m] for t in texts)]
            assert len(shown) == 1, f"the alert shows no known message, or both: {texts}"
            message = shown[0]
            assert d.unnamed_controls(window) == [], d.unnamed_controls(window)
            if message == ONCE_TEXT:
                # The caption shows the reminder's own moment.
                assert caption.endswith(" 09:00"), caption
                desk.click(d.find(window, "push button", "Dismiss"))
            else:
                # An occurrence of the series shows its own date and the series' time.
                assert caption.endswith(" 00:00"), caption
                # Snooze is the default button and has the focus: Enter answers.
                before = datetime.now()
                desk.key("Return")
                desk.key_up("Return")
                d.wait_for(lambda: d.gone(window), "the snoozed alert to close")
                snoozes.append((before, datetime.now()))
            answered[message] += 1
            d.wait_for(lambda: d.gone(window), "the answered alert to close")

        header, rows = d.read_db(db)
        assert header == "KESTO 2.0", header
        assert answered[ONCE_TEXT] == 1, f"the one-time reminder was alerted {answered[ONCE_TEXT]} times"
        # The dismissed one-time reminder is deleted (the default preference).
        assert not [r for r in rows if r.id == ONCE_ID], rows
        # The series is kept as it was.
        series = [r for r in rows if r.id == SERIES_ID and not r.exclusion]
        assert len(series) == 1 and series[0].recurring and series[0].active, rows
        assert series[0].moment == datetime.combine(series_start, datetime.min.time()), series[0]
        # Every missed occurrence is answered: an exclusion at the series' time, nothing else.
        exclusions = [r for r in rows if r.exclusion]
        assert all(r.id == SERIES_ID and r.moment.time() == datetime.min.time() for r in exclusions), exclusions
        assert {r.date for r in exclusions} == missed, exclusions
        # Each snooze left a one-time copy at the moment of the key plus the interval.
        copies = sorted((r for r in rows if not r.exclusion and r.id != SERIES_ID), key=lambda r: r.moment)
        assert len(copies) == len(snoozes), (copies, snoozes)
        for copy, (before, after) in zip(copies, sorted(snoozes)):
            assert copy.message == SERIES_TEXT and not copy.recurring and copy.active, copy
            assert minute(before) + SNOOZE <= copy.moment <= minute(after) + SNOOZE, (copy, before, after)
        assert len(rows) == 1 + len(exclusions) + len(copies), rows

        # SIGTERM: one more save, of the same reminders.
        with open(db, "rb") as f:
            answered_file = f.read()
        assert desk.terminate(program, db) == answered_file, "the final save changed the reminders"


if __name__ == "__main__":
    sys.exit(d.main(test))
